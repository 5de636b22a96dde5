#pragma once
// The one wrapping through which every entry from the interpreter passes:
// the initialiser, each function and the release of an Instance. It marks
// the thread as attached (draining deferred releases), runs the body and
// turns its outcome into the interpreter's conventions:
//   value        -> returned (a new reference)
//   PyError      -> raised, NULL returned
//   fatal error  -> PanicException raised (or, when deallocating, reported
//                   through sys.unraisablehook)
// No C++ exception crosses into the interpreter.

#include "ovcore/src/python/attach.hpp"
#include "ovcore/src/python/py_error.hpp"

namespace ovpi_sys {

using ovcore::python::BorrowedRef;
using ovcore::python::OwnedRef;
using ovcore::python::PyError;
using ovcore::python::PyResult;

// Turns the exception being handled into a PanicException set as the
// current exception. Aborts if even that fails by throwing.
void raise_current_as_panic() noexcept;

// Function and initialiser form.
template <class Body>
PyObject* call_function(Body&& body) noexcept {
  ovcore::python::BoundaryScope scope;
  try {
    PyResult<OwnedRef> result = body();
    if (result) return result->release();
    std::move(result.error()).raise();
  } catch (...) {
    raise_current_as_panic();
  }
  return nullptr;
}

// Deallocation form: no result; a fatal error goes to the unraisable hook.
// An object may be released while an exception is being raised; that
// exception is set aside before anything runs Python code (the boundary's
// drain of deferred releases included) and put back after.
template <class Body>
void call_dealloc(Body&& body) noexcept {
  OwnedRef in_flight = OwnedRef::steal(PyErr_GetRaisedException());
  {
    ovcore::python::BoundaryScope scope;
    try {
      body();
    } catch (...) {
      raise_current_as_panic();
      PyErr_WriteUnraisable(nullptr);
    }
  }
  if (in_flight) PyErr_SetRaisedException(in_flight.release());
}

}  // namespace ovpi_sys
