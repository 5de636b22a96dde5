#include "ovcore/src/base/build_info.hpp"

#include <algorithm>
#include <cstring>
#include <format>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ovcore/src/utils/fatal.hpp"

namespace {

using ovcore::base::build_info;
using ovcore::base::BuildInfo;
using ovcore::base::decode_build_info;
using ovcore::base::stored_build_info;

std::vector<std::byte> bytes_of(std::string_view text) {
  std::vector<std::byte> out(text.size());
  std::memcpy(out.data(), text.data(), text.size());
  return out;
}

TEST(BuildInfo, TheStoredBlockDecodesToThisBuildsFacts) {
  const BuildInfo& info = build_info();
  EXPECT_EQ(info.package_info.name, "ovcore");
  EXPECT_FALSE(info.profile.empty());
  EXPECT_EQ(info.package_info.available_features,
            (std::vector<std::string>{"default", "ext_all", "ext_ovlog", "python"}));
  EXPECT_TRUE(info.target.triple.starts_with(info.target.cpu.arch + "-")) << info.target.triple;
  // Built by a cross compiler, the target is not the machine that built it.
  EXPECT_TRUE(info.compiler.host_triple.starts_with(OVPI_TEST_BUILD_MACHINE "-")) << info.compiler.host_triple;
  EXPECT_EQ(info.target.os, "linux");
  EXPECT_EQ(info.target.cpu.pointer_width, sizeof(void*) * 8);
  EXPECT_GT(info.timestamp.time_since_epoch().count(), 0);
  if (info.version_control) {
    EXPECT_EQ(info.version_control->commit_id.size(), 40U);
    EXPECT_TRUE(info.version_control->commit_id.starts_with(info.version_control->commit_short_id));
  }
}

TEST(BuildInfo, DecodedOnceEvenUnderConcurrentFirstUse) {
  std::vector<const BuildInfo*> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &build_info(); });
  }
  for (auto& t : threads) t.join();
  for (const BuildInfo* p : seen) EXPECT_EQ(p, seen.front());
}

TEST(BuildInfo, LeftoverBytesAreFatal) {
  std::vector<std::byte> block(stored_build_info().begin(), stored_build_info().end());
  block.push_back(std::byte{'x'});
  try {
    decode_build_info(block);
    FAIL() << "decoded a block with bytes left over";
  } catch (const ovcore::utils::FatalError& e) {
    EXPECT_STREQ(e.what(), "Could not fully deserialize stored build info.");
  }
}

TEST(BuildInfo, CorruptBlocksAreFatal) {
  const std::span<const std::byte> good = stored_build_info();
  EXPECT_NO_THROW(decode_build_info(good));
  // Every strict prefix is truncated somewhere.
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, good.size() / 2, good.size() - 1}) {
    EXPECT_THROW(decode_build_info(good.first(n)), ovcore::utils::FatalError) << n;
  }
  // Each kind of damage is named for what it is.
  for (const auto& [block, what] :
       {std::pair{"9999999999:x", "bad field length"}, {"5:abc", "truncated field"}, {"x:abc", "bad field length"}}) {
    try {
      decode_build_info(bytes_of(block));
      ADD_FAILURE() << "decoded " << block;
    } catch (const ovcore::utils::FatalError& e) {
      EXPECT_EQ(std::string(e.what()), std::format("Could not deserialize stored build info: {}.", what)) << block;
    }
  }
}

}  // namespace

namespace {
TEST(BuildInfo, EnabledFeaturesFollowTheBuildOptions) {
  const auto& enabled = ovcore::base::build_info().package_info.enabled_features;
  auto has = [&](const char* name) { return std::ranges::find(enabled, name) != enabled.end(); };
  EXPECT_EQ(has("ext_ovlog"), OVCORE_FEATURE_EXT_OVLOG == 1);
  EXPECT_EQ(has("ext_all"), OVCORE_FEATURE_EXT_ALL == 1);
  EXPECT_EQ(has("python"), OVCORE_FEATURE_PYTHON == 1);
}
}  // namespace
