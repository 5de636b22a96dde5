#include "ovcore/src/base/api.hpp"

#include "ovcore/src/base/instance_context.hpp"

namespace ovcore::base::api {

SemVer to_semver(const VersionInfo& version) { return SemVer{version.major, version.minor, version.patch, {}, {}}; }

utils::OvResult<std::shared_ptr<InstanceContext>> create_instance(InstanceCreateInfo create_info) {
  return InstanceContext::create(std::move(create_info));
}

}  // namespace ovcore::base::api
