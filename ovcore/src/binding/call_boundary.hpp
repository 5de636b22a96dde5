#pragma once
// The call boundary: the one wrapping through which every entry from the
// interpreter passes (the module initializer, each function, the release of
// an Instance). What crosses it, and how:
//
//   inbound   the thread is marked attached (attach.hpp: its nesting count
//             goes up, references queued by unattached threads are released)
//   value     returned to the interpreter as a new reference
//   PyError   raised once, NULL returned
//   fatal     utils::FatalError (or any C++ exception) becomes PanicException
//             (panic.hpp); in the deallocation form it goes to
//             sys.unraisablehook instead
//   interrupt a KeyboardInterrupt or SystemExit that Python code raised
//             inside the body (interrupt.hpp) is raised as itself; in the
//             deallocation form, whose caller cannot receive it, one
//             raised on the main thread is raised at the interpreter's next
//             check instead, and one raised on another thread is reported
//             as the deallocation's failure (interrupt.hpp)
//
// No C++ exception crosses into the interpreter, and none leaves these forms.

#include "ovcore/src/binding/attach.hpp"
#include "ovcore/src/binding/py_error.hpp"
#include "ovcore/src/binding/release_report.hpp"

namespace ovcore::binding {

// Turns the exception being handled into the current Python exception: the
// interrupt a ProgramInterrupt carries, or else a PanicException. Aborts if
// even that fails by throwing.
void raise_current_exception() noexcept;

// Reports the exception being handled by a release: an interrupt as
// raise_in_program() allows during the program, anything else (and an
// interrupt it does not take) through sys.unraisablehook, a fatal error as
// a PanicException (release_report.hpp).
void report_release_failure(ReleaseTime time) noexcept;

// Function and initializer form.
template <class Body>
PyObject* call_function(Body&& body) noexcept {
  BoundaryScope scope;
  try {
    PyResult<OwnedRef> result = body();
    if (result) return result->release();
    std::move(result.error()).raise();
  } catch (...) {
    raise_current_exception();
  }
  return nullptr;
}

// Plain form, for a body that cannot fail fatally and follows the
// interpreter's own convention itself: a new reference, or NULL with an
// exception set. Only the inbound bookkeeping, and only when there is none
// to do beyond the count: when the thread may not enter, or a release is
// queued, `full` runs instead -- an entry point of the function form, which
// drains the queue or refuses the entry itself.
template <class Body, class Full>
  requires std::is_nothrow_invocable_r_v<PyObject*, Body> && std::is_nothrow_invocable_r_v<PyObject*, Full>
PyObject* call_plain(Body&& body, Full&& full) noexcept {
  if (!entry_needs_only_the_count()) [[unlikely]]
    return full();
  CountOnlyScope scope;
  return body();
}

// Deallocation form: no result; a fatal error goes to the unraisable hook,
// an interrupt as report_release_failure() says. An object may be released while an
// exception is being raised; that exception is set aside before anything
// runs Python code (the inbound drain of deferred releases included) and
// put back after.
template <class Body>
void call_dealloc(Body&& body, ReleaseTime time = ReleaseTime::kDuringProgram) noexcept {
  OwnedRef in_flight = OwnedRef::steal(PyErr_GetRaisedException());
  {
    BoundaryScope scope;
    try {
      body();
    } catch (...) {
      report_release_failure(time);
    }
  }
  if (in_flight) PyErr_SetRaisedException(in_flight.release());
}

}  // namespace ovcore::binding
