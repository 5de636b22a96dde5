#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/ext/ovlog/impl/logger_plugin.hpp"
#include "ovcore/src/utils/write_all.hpp"
#include "tests/cpp/test_support.hpp"
#include "tests/support/instance_context_peer.hpp"

namespace {

using ovcore::base::InstanceContext;
using ovcore::base::release;
using ovcore::ext::ovlog::LogLevelEXT;
using ovcore::ext::ovlog::LogMessageEXT;
using ovcore::ext::ovlog::LogPluginEXT;
using ovtest::make_info;
using ovtest::Recorder;

constexpr const char* kLogger = "__EXT_orvantis_logger";

std::vector<LogLevelEXT> delivered_levels(LogLevelEXT threshold) {
  auto recorder = std::make_shared<Recorder>();
  auto created = InstanceContext::create(make_info(
      {kLogger}, ovtest::settings_list(ovtest::logger_settings(threshold, ovtest::recording_callback(recorder)))));
  EXPECT_TRUE(created.has_value());
  {
    std::lock_guard lock(recorder->mutex);
    recorder->messages.clear();
  }
  for (std::uint32_t level = 0; level < 5; ++level) {
    ovtest::LogThrough::emit_log(*(*created), static_cast<LogLevelEXT>(level), "probe");
  }
  std::vector<LogLevelEXT> out;
  {
    std::lock_guard lock(recorder->mutex);
    for (const auto& m : recorder->messages) out.push_back(m.level);
  }
  release(std::move(*created));
  return out;
}

TEST(Logger, DropsMessagesBelowTheThreshold) {
  using enum LogLevelEXT;
  EXPECT_EQ(delivered_levels(Trace), (std::vector{Trace, Debug, Info, Warn, Error}));
  EXPECT_EQ(delivered_levels(Info), (std::vector{Info, Warn, Error}));
  EXPECT_EQ(delivered_levels(Warn), (std::vector{Warn, Error}));
  EXPECT_EQ(delivered_levels(Error), (std::vector{Error}));
}

TEST(Logger, WithoutSettingsPrintsEveryMessageAsOneLine) {
  ovtest::StdoutCapture capture;
  auto created = InstanceContext::create(make_info({kLogger}));
  ASSERT_TRUE(created.has_value());
  ovtest::LogThrough::emit_log(*(*created), LogLevelEXT::Info, "hello");
  const std::string address = (*created)->address_text();
  release(std::move(*created));
  const std::string out = capture.finish();

  const std::string ts = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}(\.\d{3}|\.\d{6}|\.\d{9})?)";
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(out.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 7U) << out;
  EXPECT_TRUE(
      std::regex_match(lines[0], std::regex(R"(\[Trace\] )" + ts + " - Instance created successfully at " + address)));
  EXPECT_TRUE(std::regex_match(
      lines[2], std::regex(R"(\[Info\] )" + ts + R"( - Loaded 1 extensions: \["__EXT_orvantis_logger"\])")));
  EXPECT_TRUE(std::regex_match(lines[5], std::regex(R"(\[Info\] )" + ts + " - hello"))) << lines[5];
  EXPECT_TRUE(
      std::regex_match(lines[6], std::regex(R"(\[Trace\] )" + ts + " - Tearing down InstanceContext at " + address)));
}

TEST(Logger, ListedTwiceTheSecondFindsTheNextSettingsOrNone) {
  auto first = std::make_shared<Recorder>();
  auto second = std::make_shared<Recorder>();
  auto created = InstanceContext::create(
      make_info({kLogger, kLogger},
                ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, ovtest::recording_callback(first)),
                                      ovtest::logger_settings(LogLevelEXT::Warn, ovtest::recording_callback(second)))));
  ASSERT_TRUE(created.has_value());
  const auto* logger =
      ovcore::utils::opaque::downcast_view<LogPluginEXT>((*created)->plugins().at(LogPluginEXT::kUuid).get());
  ASSERT_NE(logger, nullptr);
  EXPECT_EQ(logger->threshold(), LogLevelEXT::Warn);
  ovtest::LogThrough::emit_log(*(*created), LogLevelEXT::Error, "kept");
  release(std::move(*created));
  EXPECT_EQ(first->size(), 0U);
  EXPECT_EQ(second->texts(), (std::vector<std::string>{"kept"}));

  ovtest::StdoutCapture capture;
  auto recorder = std::make_shared<Recorder>();
  auto again = InstanceContext::create(make_info(
      {kLogger, kLogger},
      ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Error, ovtest::recording_callback(recorder)))));
  ASSERT_TRUE(again.has_value());
  logger = ovcore::utils::opaque::downcast_view<LogPluginEXT>((*again)->plugins().at(LogPluginEXT::kUuid).get());
  EXPECT_EQ(logger->threshold(), LogLevelEXT::Trace);
  EXPECT_FALSE(logger->has_callback());
  release(std::move(*again));
  EXPECT_EQ(recorder->size(), 0U);
  EXPECT_NE(capture.finish().find("[Trace]"), std::string::npos);
}

// A full pipe makes a blocking writer wait and a non-blocking one see EAGAIN;
// either way every byte arrives, in order.
class WriteAll : public ::testing::TestWithParam<bool> {};

TEST_P(WriteAll, DeliversLargeWritesWholeThroughAFullPipe) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  fcntl(fds[0], F_SETPIPE_SZ, 4096);
  if (GetParam()) fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  std::string big(1 << 20, 'x');
  for (std::size_t i = 0; i < big.size(); i += 4093) big[i] = static_cast<char>('a' + i % 26);
  std::string received;
  std::thread reader([&] {
    char buffer[1024];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) received.append(buffer, static_cast<std::size_t>(n));
  });
  EXPECT_TRUE(ovcore::utils::write_all(fds[1], big));
  close(fds[1]);
  reader.join();
  close(fds[0]);
  EXPECT_EQ(received, big);
}

INSTANTIATE_TEST_SUITE_P(Logger, WriteAll, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "NonBlocking" : "Blocking"; });

TEST(Logger, WriteAllReportsARefusingDescriptor) {
  EXPECT_FALSE(ovcore::utils::write_all(-1, "x"));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  const auto previous = std::signal(SIGPIPE, SIG_IGN);  // as the interpreter does
  EXPECT_FALSE(ovcore::utils::write_all(fds[1], "no reader"));
  std::signal(SIGPIPE, previous);
  close(fds[1]);
}

TEST(Logger, LineFormatLeavesOutModuleFileLineAndThread) {
  LogMessageEXT m;
  m.level = LogLevelEXT::Warn;
  m.timepoint = {2024, 5, 1, 9, 30, 0, 250'000'000};
  m.message = "hello";
  m.module = "mod";
  m.file = "f.cpp";
  m.line = 7;
  m.thread_name = "t";
  EXPECT_EQ(ovcore::ext::ovlog::format_log_line(m), "[Warn] 2024-05-01 09:30:00.250 - hello\n");
}

}  // namespace
