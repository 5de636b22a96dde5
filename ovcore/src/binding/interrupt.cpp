#include "ovcore/src/binding/interrupt.hpp"

#include "ovcore/src/binding/py_text.hpp"
#include "ovcore/src/binding/release_report.hpp"

namespace ovcore::binding {
namespace {

// Runs in the main thread, attached, as the interpreter's pending call: the
// exception becomes the current one, and the failure makes the interpreter
// raise it where it stands. Where no Python code runs (the interpreter
// finishing its pending calls as it finalizes), nothing could receive it,
// so it is reported as the teardown at exit reports its own.
int raise_queued(void* exception) {
  PyErr_SetRaisedException(static_cast<PyObject*>(exception));
  PyFrameObject* frame = PyThreadState_GetFrame(PyThreadState_Get());
  if (frame != nullptr) {
    Py_DECREF(frame);
    return -1;
  }
  report_unraisable_release(ReleaseTime::kAtExit, true);
  return 0;
}

}  // namespace

bool is_interrupt(BorrowedRef exception) noexcept {
  return PyErr_GivenExceptionMatches(exception.get(), PyExc_KeyboardInterrupt) != 0 ||
         PyErr_GivenExceptionMatches(exception.get(), PyExc_SystemExit) != 0;
}

ProgramInterrupt::ProgramInterrupt(OwnedRef exception)
    : utils::FatalError(type_qualname_of(exception.borrow()) + " raised by Python code that native code called"),
      exception_(std::make_shared<const OwnedRef>(std::move(exception))) {}

bool raise_in_program(BorrowedRef exception) noexcept {
  PyObject* queued = OwnedRef::new_ref(exception).release();
  if (Py_AddPendingCall(&raise_queued, queued) == 0) return true;
  Py_DECREF(queued);  // LCOV_EXCL_LINE: a full queue of pending calls cannot be arranged from a test
  return false;       // LCOV_EXCL_LINE
}

}  // namespace ovcore::binding
