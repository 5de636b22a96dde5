#pragma once
// Creation records from Python description objects, read attribute by
// attribute in declaration order. A failing field is wrapped in
// "failed to extract field {record}.{field}" with the inner error as cause.

#include "ovcore/src/base/api.hpp"
#include "ovcore/src/python/py_error.hpp"

namespace ovcore::base::api {

[[nodiscard]] python::PyResult<VersionInfo> extract_version_info(python::BorrowedRef obj);
[[nodiscard]] python::PyResult<ApplicationInfo> extract_application_info(python::BorrowedRef obj);
[[nodiscard]] python::PyResult<InstanceCreateInfo> extract_instance_create_info(python::BorrowedRef obj);

}  // namespace ovcore::base::api
