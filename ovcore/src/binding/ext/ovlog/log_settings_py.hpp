#pragma once
// The logger's settings from a Python object (its level and callback), and
// their loader, registered for "ovpi.api.ext.ovlog.LogCreateInfoEXT".

#include <memory>

#include "ovcore/src/binding/py_error.hpp"
#include "ovcore/src/ext/ovlog/log_records.hpp"

namespace ovcore::binding::ext::ovlog {

// An int (bool and int enums included) or __index__ object in 0..4.
PyResult<ovcore::ext::ovlog::LogLevelEXT> extract_log_level(BorrowedRef obj);

// Reads `level`, then `callback`.
PyResult<std::unique_ptr<ovcore::ext::ovlog::LogCreateInfoEXT>> extract_log_create_info(BorrowedRef obj);

}  // namespace ovcore::binding::ext::ovlog
