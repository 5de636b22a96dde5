#include "ovcore/src/ext/registry.hpp"

#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ovcore/src/base/api.hpp"
#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/ext/ovlog/impl/logger_plugin.hpp"
#include "ovcore/src/utils/static_list.hpp"

namespace {

using ovcore::utils::StaticList;

TEST(StaticList, IteratesNewestFirst) {
  static StaticList<int> list;
  static int values[3] = {1, 2, 3};
  static StaticList<int>::Node nodes[3] = {{&values[0]}, {&values[1]}, {&values[2]}};
  for (auto& node : nodes) list.push_front(node);
  std::vector<int> seen(list.begin(), list.end());
  EXPECT_EQ(seen, (std::vector<int>{3, 2, 1}));
}

TEST(StaticList, ConcurrentRegistrationLosesNoEntry) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 2000;
  static StaticList<int> list;
  static std::vector<int> values(kThreads * kPerThread);
  static std::vector<StaticList<int>::Node> nodes(values.size());
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kPerThread; ++i) {
        const std::size_t k = static_cast<std::size_t>(t * kPerThread + i);
        values[k] = static_cast<int>(k);
        nodes[k].entry = &values[k];
        list.push_front(nodes[k]);
      }
    });
  }
  for (auto& t : threads) t.join();
  std::set<int> seen(list.begin(), list.end());
  EXPECT_EQ(seen.size(), values.size());
  // Each thread's own entries still come newest first.
  std::vector<int> last(kThreads, kPerThread);
  for (int v : list) {
    const int t = v / kPerThread;
    EXPECT_LT(v % kPerThread, last[t]);
    last[t] = v % kPerThread;
  }
}

#if OVCORE_FEATURE_EXT_OVLOG  // the logger extension is built in
TEST(PluginRegistry, TheLoggerIsRegisteredWithItsConstants) {
  const auto* entry = ovcore::ext::find_plugin("__EXT_orvantis_logger");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->description, "Orvantis Logger Extension");
  EXPECT_EQ(entry->uuid.to_string(), "20189b61-7279-46fa-9ba2-5f0360bf5b51");
  EXPECT_EQ(entry->uuid, ovcore::ext::ovlog::LogPluginEXT::kUuid);
}
#endif

#if OVCORE_FEATURE_EXT_OVLOG  // the logger extension is built in
TEST(PluginRegistry, LookupMatchesExactBytesOnly) {
  for (const char* near_miss :
       {"__EXT_ORVANTIS_LOGGER", "__EXT_orvantis_logger ", " __EXT_orvantis_logger", "__EXT_orvantis_logge", ""}) {
    EXPECT_EQ(ovcore::ext::find_plugin(near_miss), nullptr) << near_miss;
  }
}
#endif

}  // namespace

#if !OVCORE_FEATURE_EXT_OVLOG
// A core built without the logger knows no such plug-in, and creating an
// instance that names it fails like any unknown name.
TEST(PluginRegistry, WithoutTheLoggerFeatureTheLoggerIsUnknown) {
  EXPECT_EQ(ovcore::ext::find_plugin("__EXT_orvantis_logger"), nullptr);
  ovcore::base::api::InstanceCreateInfo info;
  info.enabled_extensions = {"__EXT_orvantis_logger"};
  auto created = ovcore::base::api::create_instance(std::move(info));
  ASSERT_FALSE(created.has_value());
  EXPECT_EQ(created.error().to_string(), "Plugin with name '__EXT_orvantis_logger' not found");
}
#endif
