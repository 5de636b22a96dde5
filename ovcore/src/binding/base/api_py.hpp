#pragma once
// Creation records from Python description objects, read attribute by
// attribute in declaration order. A failing field is wrapped in
// "failed to extract field {record}.{field}" with the inner error as cause.

#include "ovcore/src/base/api.hpp"
#include "ovcore/src/binding/py_error.hpp"

namespace ovcore::base::api {

binding::PyResult<VersionInfo> extract_version_info(binding::BorrowedRef obj);
binding::PyResult<ApplicationInfo> extract_application_info(binding::BorrowedRef obj);
binding::PyResult<InstanceCreateInfo> extract_instance_create_info(binding::BorrowedRef obj);

}  // namespace ovcore::base::api
