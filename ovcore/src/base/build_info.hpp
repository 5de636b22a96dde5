#pragma once
// Facts about the core library's own build, captured by the build, embedded
// as one encoded block and decoded once per process on first use.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ovcore/src/base/semver.hpp"

namespace ovcore::base {

using UtcTime = std::chrono::sys_time<std::chrono::nanoseconds>;

// Stored by index: 0 none, 1 basic, 2 more, 3 full, 4 size, 5 smallest size.
enum class OptimizationLevel : std::uint8_t { O0, O1, O2, O3, Size, SizeMin };
enum class Endianness : std::uint8_t { Big, Little };
enum class ReleaseChannel : std::uint8_t { Dev, Nightly, Beta, Stable };

struct PackageInfo {
  std::string name;
  SemVer version;
  std::vector<std::string> authors;
  std::optional<std::string> license;
  std::vector<std::string> enabled_features;
  std::vector<std::string> available_features;
  std::vector<PackageInfo> dependencies;
};

struct CpuInfo {
  std::string arch;
  std::uint64_t pointer_width = 0;  // bits
  Endianness endianness = Endianness::Little;
  std::vector<std::string> features;
};

struct TargetInfo {
  std::string triple;
  std::string family;
  std::string os;
  CpuInfo cpu;
};

struct CompilerInfo {
  SemVer version;
  std::optional<std::string> commit_id;
  std::optional<std::chrono::year_month_day> commit_date;
  ReleaseChannel channel = ReleaseChannel::Stable;
  std::string host_triple;
};

struct GitInfo {
  std::string commit_id;
  std::string commit_short_id;
  UtcTime commit_timestamp;
  bool dirty = false;
  std::optional<std::string> branch;
  std::vector<std::string> tags;
};

struct BuildInfo {
  UtcTime timestamp;
  std::string profile;
  OptimizationLevel optimization_level = OptimizationLevel::O0;
  PackageInfo package_info;
  TargetInfo target;
  CompilerInfo compiler;
  std::optional<GitInfo> version_control;
};

// The decoded record of this build; the first call decodes, thread-safely.
// A block that does not decode is a fatal internal error (utils::FatalError).
const BuildInfo& build_info();

// Decodes an encoded block. Throws utils::FatalError when the block is
// malformed or has bytes left over.
BuildInfo decode_build_info(std::span<const std::byte> block);

// The block this build embedded.
std::span<const std::byte> stored_build_info() noexcept;

}  // namespace ovcore::base
