// Instances used from many threads at once: delivery through one instance,
// a sink replaced while threads log, instances made and torn down on
// several threads.

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/ext/ovlog/impl/logger_plugin.hpp"
#include "tests/cpp/test_support.hpp"
#include "tests/support/instance_context_peer.hpp"

namespace {

using ovcore::base::InstanceContext;
using ovcore::base::release;
using ovcore::ext::ovlog::LogLevelEXT;
using ovcore::ext::ovlog::LogMessageEXT;
using ovtest::make_info;
using ovtest::on_named_threads;

constexpr const char* kLogger = "__EXT_orvantis_logger";

// An instance with the logger, delivering messages at `level` and above to `callback`.
std::shared_ptr<InstanceContext> logging_instance(LogLevelEXT level, ovcore::ext::ovlog::LogCallbackEXT callback) {
  auto created = InstanceContext::create(
      make_info({kLogger}, ovtest::settings_list(ovtest::logger_settings(level, std::move(callback)))));
  EXPECT_TRUE(created.has_value());
  return created ? std::move(*created) : nullptr;
}

TEST(InstanceContextThreads, ManyThreadsLogThroughOneInstance) {
  constexpr int kThreads = 8;
  constexpr int kMessages = 2000;
  auto count = std::make_shared<std::atomic<int>>(0);
  auto named = std::make_shared<std::atomic<int>>(0);
  auto context = logging_instance(LogLevelEXT::Debug, [count, named](LogMessageEXT m) {
    ++*count;
    if (m.thread_name && m.thread_name->starts_with("logger-")) ++*named;
  });
  ASSERT_NE(context, nullptr);
  on_named_threads("logger-", kThreads, [&context](int) {
    for (int i = 0; i < kMessages; ++i) {
      ovtest::LogThrough::emit_log(*context, i % 2 ? LogLevelEXT::Info : LogLevelEXT::Trace, "message");
    }
  });
  EXPECT_EQ(*named, kThreads * kMessages / 2);
  release(std::move(context));
  EXPECT_EQ(*count, 4 + kThreads * kMessages / 2);  // Info report messages and the Info half
}

// The sink lock at work: named threads log while another thread keeps
// replacing the sink. Every delivery sees one sink or the other, whole.
TEST(InstanceContextThreads, NativeThreadsLogWhileTheSinkIsReplaced) {
  constexpr int kThreads = 4;
  constexpr int kMessages = 3000;
  auto delivered = std::make_shared<std::atomic<int>>(0);
  auto context = logging_instance(LogLevelEXT::Info,
                                  [delivered](LogMessageEXT) { delivered->fetch_add(1, std::memory_order_relaxed); });
  ASSERT_NE(context, nullptr);
  const int report = delivered->load();
  std::atomic<bool> done{false};
  std::thread replacer([&] {
    for (int i = 0; !done.load(); ++i) {
      context->set_log_sink(i % 2 ? &ovcore::ext::ovlog::LogPluginEXT::log_message : &ovcore::base::discard_log);
    }
    context->set_log_sink(&ovcore::ext::ovlog::LogPluginEXT::log_message);
  });
  on_named_threads("sink-", kThreads, [&context](int) {
    for (int i = 0; i < kMessages; ++i) ovtest::LogThrough::emit_log(*context, LogLevelEXT::Warn, "message");
  });
  done = true;
  replacer.join();
  EXPECT_LE(delivered->load() - report, kThreads * kMessages);
  release(std::move(context));
}

// Instances created and torn down on several threads at once, each
// delivering its whole report and teardown message to its own callback.
TEST(InstanceContextThreads, InstancesAreCreatedAndTornDownOnSeveralThreads) {
  constexpr int kThreads = 4;
  constexpr int kInstances = 150;
  std::vector<std::atomic<int>> counts(kThreads);
  on_named_threads("maker-", kThreads, [&counts](int t) {
    for (int i = 0; i < kInstances; ++i) {
      auto context = logging_instance(LogLevelEXT::Trace, [&count = counts[t]](LogMessageEXT) { count.fetch_add(1); });
      release(std::move(context));
    }
  });
  for (const auto& count : counts) EXPECT_EQ(count.load(), kInstances * 6);
}

}  // namespace
