#include "ovcore/src/binding/interrupt.hpp"

#include "ovcore/src/binding/py_text.hpp"

namespace ovcore::binding {
namespace {

// Runs in the main thread, attached, as the interpreter's pending call: the
// exception becomes the current one, and the failure makes the interpreter
// raise it where it stands.
int raise_queued(void* exception) {
  PyErr_SetRaisedException(static_cast<PyObject*>(exception));
  return -1;
}

}  // namespace

bool is_interrupt(BorrowedRef exception) noexcept {
  return PyErr_GivenExceptionMatches(exception.get(), PyExc_KeyboardInterrupt) != 0 ||
         PyErr_GivenExceptionMatches(exception.get(), PyExc_SystemExit) != 0;
}

ProgramInterrupt::ProgramInterrupt(OwnedRef exception)
    : utils::FatalError(type_qualname_of(exception.borrow()) + " raised by Python code that native code called"),
      exception_(std::make_shared<const OwnedRef>(std::move(exception))) {}

bool raise_at_next_line(OwnedRef exception) noexcept {
  PyObject* queued = exception.release();
  if (Py_AddPendingCall(&raise_queued, queued) == 0) return true;
  Py_DECREF(queued);
  return false;
}

}  // namespace ovcore::binding
