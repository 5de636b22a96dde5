#pragma once
// The logger's records across the Python boundary: level, callback and
// settings from Python objects; each message into a new dict; and the
// adapter that calls a Python callable from any thread.

#include <memory>

#include "ovcore/src/ext/ovlog/log_records.hpp"
#include "ovcore/src/binding/py_error.hpp"

namespace ovcore::ext::ovlog {

// An int (bool and int enums included) or __index__ object in 0..4.
binding::PyResult<LogLevelEXT> extract_log_level(binding::BorrowedRef obj);

// Any callable; wrapped in an adapter holding one strong reference to it.
binding::PyResult<LogCallbackEXT> extract_log_callback(binding::BorrowedRef obj);

// Reads `level`, then `callback`.
binding::PyResult<std::unique_ptr<LogCreateInfoEXT>> extract_log_create_info(binding::BorrowedRef obj);

// A new dict with the keys level, timepoint, message, module, file, line and
// thread_name. Consumes the message either way. Needs an attached thread.
binding::PyResult<binding::OwnedRef> log_message_into_pyobject(LogMessageEXT message);

}  // namespace ovcore::ext::ovlog
