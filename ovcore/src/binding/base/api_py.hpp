#pragma once
// Creation records from Python description objects, read attribute by
// attribute in declaration order. A failing field is wrapped in
// "failed to extract field {record}.{field}" with the inner error as cause.

#include "ovcore/src/base/api.hpp"
#include "ovcore/src/binding/py_error.hpp"

namespace ovcore::binding::base {

PyResult<ovcore::base::api::VersionInfo> extract_version_info(BorrowedRef obj);
PyResult<ovcore::base::api::ApplicationInfo> extract_application_info(BorrowedRef obj);
PyResult<ovcore::base::api::InstanceCreateInfo> extract_instance_create_info(BorrowedRef obj);

}  // namespace ovcore::binding::base
