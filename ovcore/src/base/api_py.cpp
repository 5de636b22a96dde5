#include "ovcore/src/base/api_py.hpp"

#include "ovcore/src/python/conversions.hpp"
#include "ovcore/src/utils/opaque_py.hpp"

namespace ovcore::base::api {

using python::Attr;
using python::BorrowedRef;
using python::extract_field;
using python::PyResult;

PyResult<VersionInfo> extract_version_info(BorrowedRef obj) {
  constexpr const char* kRecord = "VersionInfo";
  auto major = extract_field(obj, Attr::major, kRecord, "major", python::extract_u16);
  if (!major) return std::unexpected(std::move(major.error()));
  auto minor = extract_field(obj, Attr::minor, kRecord, "minor", python::extract_u16);
  if (!minor) return std::unexpected(std::move(minor.error()));
  auto patch = extract_field(obj, Attr::patch, kRecord, "patch", python::extract_u16);
  if (!patch) return std::unexpected(std::move(patch.error()));
  return VersionInfo{*major, *minor, *patch};
}

PyResult<ApplicationInfo> extract_application_info(BorrowedRef obj) {
  constexpr const char* kRecord = "ApplicationInfo";
  auto app_version = extract_field(obj, Attr::application_version, kRecord, "application_version",
                                   extract_version_info);
  if (!app_version) return std::unexpected(std::move(app_version.error()));
  auto app_name = extract_field(obj, Attr::application_name, kRecord, "application_name", python::extract_text);
  if (!app_name) return std::unexpected(std::move(app_name.error()));
  auto engine_version = extract_field(obj, Attr::engine_version, kRecord, "engine_version", extract_version_info);
  if (!engine_version) return std::unexpected(std::move(engine_version.error()));
  auto engine_name = extract_field(obj, Attr::engine_name, kRecord, "engine_name", python::extract_text);
  if (!engine_name) return std::unexpected(std::move(engine_name.error()));
  return ApplicationInfo{*app_version, std::move(*app_name), *engine_version, std::move(*engine_name)};
}

namespace {

// The list inside OpaqueList is that record's only field, at position 0.
PyResult<utils::opaque::OpaqueList> extract_opaque_list(BorrowedRef value) {
  auto items = python::extract_list<std::unique_ptr<utils::opaque::OpaqueObject>>(
      value, utils::opaque::extract_opaque_object);
  if (!items) return std::unexpected(python::wrap_field_error(std::move(items.error()), "OpaqueList", "0"));
  return utils::opaque::OpaqueList(std::move(*items));
}

PyResult<std::vector<std::string>> extract_names(BorrowedRef value) {
  return python::extract_list<std::string>(value, python::extract_text);
}

}  // namespace

PyResult<InstanceCreateInfo> extract_instance_create_info(BorrowedRef obj) {
  constexpr const char* kRecord = "InstanceCreateInfo";
  auto application = extract_field(obj, Attr::application_info, kRecord, "application_info",
                                   extract_application_info);
  if (!application) return std::unexpected(std::move(application.error()));
  auto names = extract_field(obj, Attr::enabled_extensions, kRecord, "enabled_extensions", extract_names);
  if (!names) return std::unexpected(std::move(names.error()));
  auto ext = extract_field(obj, Attr::ext, kRecord, "ext", extract_opaque_list);
  if (!ext) return std::unexpected(std::move(ext.error()));
  return InstanceCreateInfo{std::move(*application), std::move(*names), std::move(*ext)};
}

}  // namespace ovcore::base::api
