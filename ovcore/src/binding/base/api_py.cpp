#include "ovcore/src/binding/base/api_py.hpp"

#include "ovcore/src/binding/conversions.hpp"
#include "ovcore/src/binding/opaque_loaders.hpp"

namespace ovcore::binding::base {

using ovcore::base::api::ApplicationInfo;
using ovcore::base::api::InstanceCreateInfo;
using ovcore::base::api::VersionInfo;

namespace {

// The attributes read, in the order they are read.
constinit InternedName kMajor{"major"};
constinit InternedName kMinor{"minor"};
constinit InternedName kPatch{"patch"};
constinit InternedName kApplicationVersion{"application_version"};
constinit InternedName kApplicationName{"application_name"};
constinit InternedName kEngineVersion{"engine_version"};
constinit InternedName kEngineName{"engine_name"};
constinit InternedName kApplicationInfo{"application_info"};
constinit InternedName kEnabledExtensions{"enabled_extensions"};
constinit InternedName kExt{"ext"};

// The list inside OpaqueList is that record's only field, at position 0.
PyResult<utils::opaque::OpaqueList> extract_opaque_list(BorrowedRef value) {
  auto items = extract_list<std::unique_ptr<utils::opaque::OpaqueObject>>(value, extract_opaque_object);
  if (!items) return std::unexpected(wrap_field_error(std::move(items).error(), "OpaqueList", "0"));
  return utils::opaque::OpaqueList(std::move(*items));
}

PyResult<std::vector<std::string>> extract_names(BorrowedRef value) {
  return extract_list<std::string>(value, extract_text);
}

}  // namespace

PyResult<VersionInfo> extract_version_info(BorrowedRef obj) {
  constexpr const char* kRecord = "VersionInfo";
  const std::uint16_t major = OV_TRY(extract_field(obj, kMajor, kRecord, extract_u16));
  const std::uint16_t minor = OV_TRY(extract_field(obj, kMinor, kRecord, extract_u16));
  const std::uint16_t patch = OV_TRY(extract_field(obj, kPatch, kRecord, extract_u16));
  return VersionInfo{major, minor, patch};
}

PyResult<ApplicationInfo> extract_application_info(BorrowedRef obj) {
  constexpr const char* kRecord = "ApplicationInfo";
  VersionInfo application_version = OV_TRY(extract_field(obj, kApplicationVersion, kRecord, extract_version_info));
  std::string application_name = OV_TRY(extract_field(obj, kApplicationName, kRecord, extract_text));
  VersionInfo engine_version = OV_TRY(extract_field(obj, kEngineVersion, kRecord, extract_version_info));
  std::string engine_name = OV_TRY(extract_field(obj, kEngineName, kRecord, extract_text));
  return ApplicationInfo{application_version, std::move(application_name), engine_version, std::move(engine_name)};
}

PyResult<InstanceCreateInfo> extract_instance_create_info(BorrowedRef obj) {
  constexpr const char* kRecord = "InstanceCreateInfo";
  ApplicationInfo application = OV_TRY(extract_field(obj, kApplicationInfo, kRecord, extract_application_info));
  std::vector<std::string> names = OV_TRY(extract_field(obj, kEnabledExtensions, kRecord, extract_names));
  utils::opaque::OpaqueList ext = OV_TRY(extract_field(obj, kExt, kRecord, extract_opaque_list));
  return InstanceCreateInfo{std::move(application), std::move(names), std::move(ext)};
}

}  // namespace ovcore::binding::base
