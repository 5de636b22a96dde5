#pragma once
// The logger's records across the Python boundary: level, callback and
// settings from Python objects; each message into a new dict; and the
// adapter that calls a Python callable from any thread.

#include <memory>

#include "ovcore/src/ext/ovlog/log_records.hpp"
#include "ovcore/src/python/py_error.hpp"

namespace ovcore::ext::ovlog {

// An int (bool and int enums included) or __index__ object in 0..4.
[[nodiscard]] python::PyResult<LogLevelEXT> extract_log_level(python::BorrowedRef obj);

// Any callable; wrapped in an adapter holding one strong reference to it.
[[nodiscard]] python::PyResult<LogCallbackEXT> extract_log_callback(python::BorrowedRef obj);

// Reads `level`, then `callback`.
[[nodiscard]] python::PyResult<std::unique_ptr<LogCreateInfoEXT>> extract_log_create_info(python::BorrowedRef obj);

// A new dict with the keys level, timepoint, message, module, file, line and
// thread_name. Consumes the message either way. Needs an attached thread.
[[nodiscard]] python::PyResult<python::OwnedRef> log_message_into_pyobject(LogMessageEXT message);

}  // namespace ovcore::ext::ovlog
