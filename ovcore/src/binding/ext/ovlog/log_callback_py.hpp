#pragma once
// The logger's callback as a Python callable: an adapter that holds one
// strong reference to it and calls it with each message's record, from
// whatever thread logs.

#include "ovcore/src/binding/py_error.hpp"
#include "ovcore/src/ext/ovlog/log_records.hpp"

namespace ovcore::binding::ext::ovlog {

// Any callable; wrapped in an adapter holding one strong reference to it.
// A call that fails is fatal (utils::FatalError), but for an interrupt,
// which is thrown as a ProgramInterrupt (interrupt.hpp).
PyResult<ovcore::ext::ovlog::LogCallbackEXT> extract_log_callback(BorrowedRef obj);

}  // namespace ovcore::binding::ext::ovlog
