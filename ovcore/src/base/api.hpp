#pragma once
// The records a caller fills in to create an instance, and the entry point.

#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <vector>

#include "ovcore/src/base/semver.hpp"
#include "ovcore/src/utils/error.hpp"
#include "ovcore/src/utils/opaque.hpp"

namespace ovcore::base {
class InstanceContext;
}

namespace ovcore::base::api {

struct VersionInfo {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t patch = 0;
};

// The version as a semantic version with empty pre-release and build parts.
SemVer to_semver(const VersionInfo& version);

struct ApplicationInfo {
  VersionInfo application_version;
  std::string application_name;
  VersionInfo engine_version;
  std::string engine_name;
};

struct InstanceCreateInfo {
  ApplicationInfo application_info;
  std::vector<std::string> enabled_extensions;  // registered names, in order
  utils::opaque::OpaqueList ext;                // settings objects for extensions
};

// Creates an instance, consuming `create_info` on every path. On success the
// caller holds the only strong reference; releasing it tears the instance
// down. Throws `utils::FatalError` only when a log callback fails fatally
// (the instance is then already torn down).
utils::OvResult<std::shared_ptr<InstanceContext>> create_instance(InstanceCreateInfo create_info);

}  // namespace ovcore::base::api
