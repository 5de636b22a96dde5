#include <iterator>
#include <mutex>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ovcore/src/base/build_info.hpp"
#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/ext/ovlog/impl/logger_plugin.hpp"
#include "ovcore/src/ext/registry.hpp"
#include "ovcore/src/utils/fatal.hpp"
#include "tests/cpp/test_support.hpp"
#include "tests/support/instance_context_peer.hpp"

namespace {

using ovcore::base::InstanceContext;
using ovcore::base::release;
using ovcore::ext::ovlog::LogLevelEXT;
using ovcore::ext::ovlog::LogMessageEXT;
using ovcore::utils::FatalError;
using ovcore::utils::OvError;
using ovcore::utils::OvResult;
using ovcore::utils::Uuid;
using ovtest::make_info;
using ovtest::Recorder;

// Lifecycle events of the test plug-ins, in the order they happened.
std::mutex events_mutex;
std::vector<std::string> events;
int next_serial = 0;

void record(std::string event) {
  std::lock_guard lock(events_mutex);
  events.push_back(std::move(event));
}

std::vector<std::string> take_events() {
  std::lock_guard lock(events_mutex);
  return std::exchange(events, {});
}

// The test plug-ins: each one's identity, and whether it fails to construct
// or to initialize.
struct Behaviour {
  Uuid uuid;
  std::string_view name;
  const char* tag;
  bool fail_construct = false;
  bool fail_initialize = false;
};
constexpr Behaviour kPlugins[] = {
    {Uuid::literal("00000000-0000-0000-0000-000000000001"), "__EXT_test_a", "A"},
    {Uuid::literal("00000000-0000-0000-0000-000000000002"), "__EXT_test_b", "B"},
    // Above the logger's UUID, so the logger is initialized before it.
    {Uuid::literal("f0000000-0000-0000-0000-000000000001"), "__EXT_test_fail_init", "F", false, true},
    {Uuid::literal("f0000000-0000-0000-0000-000000000002"), "__EXT_test_z", "Z"},
    {Uuid::literal("00000000-0000-0000-0000-0000000000ff"), "__EXT_test_fail_construct", "C", true, false},
};

// A plug-in that records what is done to it, as kPlugins[I] says it is.
template <std::size_t I>
class Recording final : public ovcore::ext::Plugin<Recording<I>> {
  static constexpr const Behaviour& kBehaviour = kPlugins[I];

 public:
  static constexpr Uuid kUuid = kBehaviour.uuid;
  static constexpr std::string_view kName = kBehaviour.name;
  static constexpr std::string_view kDescription = "test plug-in";

  Recording() : tag_(std::string(kBehaviour.tag) + std::to_string(++next_serial)) { record(tag_ + ".construct"); }
  ~Recording() override { record(tag_ + ".destroy"); }

  static OvResult<std::unique_ptr<ovcore::ext::DynPluginEXT>> construct(ovcore::utils::opaque::OpaqueList&) {
    if constexpr (kBehaviour.fail_construct) {
      return std::unexpected(OvError::unknown("construct failed"));
    } else {
      return std::make_unique<Recording>();
    }
  }
  void attach_to(ovcore::base::WeakInstance instance) override {
    record(tag_ + ".attach" + (instance.upgrade() ? "+upgraded" : ""));
    instance_ = std::move(instance);
  }
  OvResult<void> initialize() override {
    record(tag_ + ".initialize" + (instance_.upgrade() ? "+upgraded" : ""));
    if constexpr (kBehaviour.fail_initialize) return std::unexpected(OvError::unknown("initialize failed"));
    return {};
  }
  void teardown() override { record(tag_ + ".teardown" + (instance_.upgrade() ? "+upgraded" : "")); }

 private:
  std::string tag_;
  ovcore::base::WeakInstance instance_;
};

template <std::size_t I>
struct Registration {
  static constexpr ovcore::ext::PluginRegistry entry =
      ovcore::ext::registry_entry_for<Recording<I>>(&Recording<I>::construct);
  static inline ovcore::ext::PluginList::Node node{&entry};
  Registration() { ovcore::ext::plugin_registry().push_front(node); }
};
// Every test plug-in, registered in the table's order when the tests load.
const bool registered = []<std::size_t... I>(std::index_sequence<I...>) {
  (Registration<I>{}, ...);
  return true;
}(std::make_index_sequence<std::size(kPlugins)>{});

constexpr const char* kLogger = "__EXT_orvantis_logger";

class InstanceContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    take_events();
    next_serial = 0;
  }
};

TEST_F(InstanceContextTest, AttachAndInitializeAscendTeardownDescends) {
  auto created = InstanceContext::create(make_info({"__EXT_test_b", "__EXT_test_a"}));
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(take_events(), (std::vector<std::string>{"B1.construct", "A2.construct", "A2.attach", "B1.attach",
                                                     "A2.initialize+upgraded", "B1.initialize+upgraded"}));
  release(std::move(*created));
  EXPECT_EQ(take_events(), (std::vector<std::string>{"B1.teardown", "B1.destroy", "A2.teardown", "A2.destroy"}));
}

#if OVCORE_FEATURE_EXT_OVLOG  // the logger extension is built in
TEST_F(InstanceContextTest, ADuplicateReplacesTheEarlierPluginWithoutAnyCall) {
  auto recorder = std::make_shared<Recorder>();
  auto created = InstanceContext::create(make_info(
      {"__EXT_test_a", kLogger, "__EXT_test_a"},
      ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, ovtest::recording_callback(recorder)))));
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(take_events(), (std::vector<std::string>{"A1.construct", "A2.construct", "A1.destroy", "A2.attach",
                                                     "A2.initialize+upgraded"}));
  EXPECT_EQ(recorder->texts().at(2),
            "Loaded 2 extensions: [\"__EXT_test_a\", \"__EXT_orvantis_logger\", \"__EXT_test_a\"]");
  release(std::move(*created));
}
#endif

#if OVCORE_FEATURE_EXT_OVLOG  // the logger extension is built in
TEST_F(InstanceContextTest, AMissingNameTearsDownWhatWasBuiltAndLogsNothing) {
  auto recorder = std::make_shared<Recorder>();
  auto created = InstanceContext::create(make_info(
      {kLogger, "__EXT_test_a", "__EXT_Test_b", "__EXT_test_b"},
      ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, ovtest::recording_callback(recorder)))));
  ASSERT_FALSE(created.has_value());
  EXPECT_EQ(created.error().to_string(), "Plugin with name '__EXT_Test_b' not found");
  EXPECT_EQ(take_events(), (std::vector<std::string>{"A1.construct", "A1.teardown", "A1.destroy"}));
  EXPECT_EQ(recorder->size(), 0U);
}
#endif

TEST_F(InstanceContextTest, AConstructorErrorIsPassedOnUnchanged) {
  auto created = InstanceContext::create(make_info({"__EXT_test_a", "__EXT_test_fail_construct"}));
  ASSERT_FALSE(created.has_value());
  EXPECT_EQ(created.error().to_string(), "An unknown error occurred: construct failed");
  EXPECT_EQ(take_events(), (std::vector<std::string>{"A1.construct", "A1.teardown", "A1.destroy"}));
}

#if OVCORE_FEATURE_EXT_OVLOG  // the logger extension is built in
TEST_F(InstanceContextTest, AnInitializeFailureTearsEverythingDownThroughTheInstalledSink) {
  auto recorder = std::make_shared<Recorder>();
  auto created = InstanceContext::create(make_info(
      {"__EXT_test_z", "__EXT_test_fail_init", kLogger, "__EXT_test_a"},
      ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, ovtest::recording_callback(recorder)))));
  ASSERT_FALSE(created.has_value());
  EXPECT_EQ(created.error().to_string(), "An unknown error occurred: initialize failed");
  EXPECT_EQ(take_events(),
            (std::vector<std::string>{"Z1.construct", "F2.construct", "A3.construct", "A3.attach", "F2.attach",
                                      "Z1.attach", "A3.initialize+upgraded", "F2.initialize+upgraded", "Z1.teardown",
                                      "Z1.destroy", "F2.teardown", "F2.destroy", "A3.teardown", "A3.destroy"}));
  // The logger was initialized first, so only the teardown message reached it.
  const auto texts = recorder->texts();
  ASSERT_EQ(texts.size(), 1U);
  EXPECT_TRUE(texts[0].starts_with("Tearing down InstanceContext at 0x"));
}
#endif

#if OVCORE_FEATURE_EXT_OVLOG  // the logger extension is built in
TEST_F(InstanceContextTest, TheCreationReportAndTeardownMessage) {
  auto recorder = std::make_shared<Recorder>();
  auto created = InstanceContext::create(make_info(
      {kLogger},
      ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, ovtest::recording_callback(recorder)))));
  ASSERT_TRUE(created.has_value());
  const std::string address = (*created)->address_text();
  EXPECT_TRUE(std::regex_match(address, std::regex("0x[1-9a-f][0-9a-f]*")));
  release(std::move(*created));

  std::lock_guard lock(recorder->mutex);
  const auto& m = recorder->messages;
  ASSERT_EQ(m.size(), 6U);
  EXPECT_EQ(m[0].message, "Instance created successfully at " + address);
  EXPECT_EQ(m[1].message, "Application 'demo' v1.0.12 using engine 'engine' v2.3.4");
  EXPECT_EQ(m[2].message, "Loaded 1 extensions: [\"__EXT_orvantis_logger\"]");
  // The coverage build runs these tests in a build with the python feature on.
  const std::string python_feature = OVCORE_FEATURE_PYTHON ? R"(, "python")" : "";
  EXPECT_TRUE(std::regex_match(
      m[3].message, std::regex(R"(ovcore version: v\d+\.\d+\.\d+ \(features: \["default", "ext_all", "ext_ovlog")" +
                               python_feature + R"(\]\) -- \S+ \S+)")))
      << m[3].message;
  // "(dirty)" exactly when the build says its tree was.
  const auto& git = ovcore::base::build_info().version_control;
  const std::string dirty = git && git->dirty ? R"( \(dirty\))" : "";
  EXPECT_TRUE(
      std::regex_match(m[4].message, std::regex(R"(built from commit [0-9a-f]+\.\.)" + dirty + R"( on branch '.+')")))
      << m[4].message;
  EXPECT_EQ(m[5].message, "Tearing down InstanceContext at " + address);
  const std::vector<LogLevelEXT> levels{LogLevelEXT::Trace, LogLevelEXT::Info, LogLevelEXT::Info,
                                        LogLevelEXT::Info,  LogLevelEXT::Info, LogLevelEXT::Trace};
  for (std::size_t i = 0; i < m.size(); ++i) {
    EXPECT_EQ(m[i].level, levels[i]);
    EXPECT_EQ(m[i].module, "ovcore::base");
    EXPECT_EQ(m[i].file, "ovcore/src/base/instance_context.cpp");
    EXPECT_GT(m[i].line.value_or(0), 0U);
    EXPECT_FALSE(m[i].thread_name.has_value());
  }
}
#endif

TEST_F(InstanceContextTest, NoExtensionsMeansNoPluginsAndNoDelivery) {
  auto created = InstanceContext::create(make_info({}));
  ASSERT_TRUE(created.has_value());
  EXPECT_TRUE((*created)->plugins().empty());
  release(std::move(*created));
  EXPECT_TRUE(take_events().empty());
}

TEST_F(InstanceContextTest, UntakenSettingsAreDestroyedWhenCreationEnds) {
  auto sentinel = std::make_shared<int>(0);
  auto callback = [sentinel](LogMessageEXT) {};
  {
    auto created = InstanceContext::create(
        make_info({"__EXT_test_a"}, ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, callback))));
    ASSERT_TRUE(created.has_value());
    EXPECT_EQ(sentinel.use_count(), 2);  // the local lambda and nothing else
    release(std::move(*created));
  }
  auto failed = InstanceContext::create(
      make_info({"missing"}, ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, callback))));
  EXPECT_FALSE(failed.has_value());
  EXPECT_EQ(sentinel.use_count(), 2);
}

// A callback that fails fatally on the chosen deliveries.
struct Failing {
  std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
  std::vector<int> fail_on;  // 1-based delivery numbers
  ovcore::ext::ovlog::LogCallbackEXT callback() const {
    return [calls = calls, fail_on = fail_on](LogMessageEXT message) {
      const int n = ++*calls;
      for (int f : fail_on) {
        if (f == n) throw FatalError("callback failed on: " + message.message);
      }
    };
  }
};

#if OVCORE_FEATURE_EXT_OVLOG  // the logger extension is built in
TEST_F(InstanceContextTest, AFatalCallbackDuringCreationStillTearsEverythingDown) {
  Failing failing{.fail_on = {2, 3}};  // message 2, then the teardown message again
  try {
    auto created = InstanceContext::create(
        make_info({"__EXT_test_a", kLogger, "__EXT_test_b"},
                  ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, failing.callback()))));
    FAIL() << "creation succeeded";
  } catch (const FatalError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("callback failed on: Application 'demo'")) << e.what();
  }
  EXPECT_EQ(*failing.calls, 3);  // two report messages, then the teardown message
  const auto ev = take_events();
  EXPECT_EQ(std::vector<std::string>(ev.end() - 4, ev.end()),
            (std::vector<std::string>{"B2.teardown", "B2.destroy", "A1.teardown", "A1.destroy"}));
  // Nothing stayed locked, and the dropped second failure does not surface
  // later: a new instance works, logs and releases cleanly.
  auto recorder = std::make_shared<Recorder>();
  auto again = InstanceContext::create(make_info(
      {kLogger},
      ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, ovtest::recording_callback(recorder)))));
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(recorder->size(), 5U);
  release(std::move(*again));
}
#endif

#if OVCORE_FEATURE_EXT_OVLOG  // the logger extension is built in
TEST_F(InstanceContextTest, AFatalCallbackDuringTeardownCompletesTheTeardownThenSurfaces) {
  Failing failing{.fail_on = {6}};
  auto created = InstanceContext::create(
      make_info({"__EXT_test_a", kLogger},
                ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, failing.callback()))));
  ASSERT_TRUE(created.has_value());
  take_events();
  EXPECT_THROW(release(std::move(*created)), FatalError);
  EXPECT_EQ(take_events(), (std::vector<std::string>{"A1.teardown", "A1.destroy"}));
}
#endif

// Y's last reference lives in X's callback. X's creation fails fatally, so
// Y is released while X's failure unwinds; Y's own teardown failure must
// still reach the code that released Y, not vanish.
#if OVCORE_FEATURE_EXT_OVLOG  // the logger extension is built in
TEST_F(InstanceContextTest, AReleaseDuringAnotherFailuresUnwindingReportsItsOwnFailure) {
  Failing y_failing{.fail_on = {6}};  // Y's teardown message
  auto y = InstanceContext::create(
      make_info({kLogger}, ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, y_failing.callback()))));
  ASSERT_TRUE(y.has_value());

  struct ReleasesY {
    std::shared_ptr<InstanceContext> y;
    std::shared_ptr<std::string> outcome;
    ~ReleasesY() {
      if (!y) return;
      try {
        release(std::move(y));
        *outcome = "released cleanly";
      } catch (const FatalError& e) {
        *outcome = e.message();
      }
    }
  };
  auto outcome = std::make_shared<std::string>("not released");
  auto holder = std::make_shared<ReleasesY>(ReleasesY{std::move(*y), outcome});
  Failing x_failing{.fail_on = {2}};
  auto x_callback = [holder = std::move(holder), inner = x_failing.callback()](LogMessageEXT m) {
    inner(std::move(m));
  };
  auto x_info =
      make_info({kLogger}, ovtest::settings_list(ovtest::logger_settings(LogLevelEXT::Trace, std::move(x_callback))));
  EXPECT_THROW((void)InstanceContext::create(std::move(x_info)), FatalError);
  EXPECT_TRUE(outcome->starts_with("callback failed on: Tearing down InstanceContext at 0x")) << *outcome;
}
#endif

}  // namespace
