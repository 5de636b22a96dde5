#pragma once
// A log message as the Python record a callback receives: a new dict with
// the keys level, timepoint, message, module, file, line and thread_name.

#include "ovcore/src/binding/py_error.hpp"
#include "ovcore/src/ext/ovlog/log_records.hpp"

namespace ovcore::binding::ext::ovlog {

// The record of `message`, which stays the caller's. Needs an attached thread.
PyResult<OwnedRef> log_record_of(const ovcore::ext::ovlog::LogMessageEXT& message);

// The record of `message`, consumed either way. Needs an attached thread.
PyResult<OwnedRef> log_message_into_pyobject(ovcore::ext::ovlog::LogMessageEXT message);

}  // namespace ovcore::binding::ext::ovlog
