#pragma once
// The Instance handle and the call that creates one. A handle owns the only
// strong reference to its instance; releasing the handle tears it down.

#include "ovcore/src/binding/py_error.hpp"

namespace ovpi_sys {

// The Instance type, created on first call and kept for the process (also
// when a module initialization fails after creating it).
ovcore::binding::PyResult<PyTypeObject*> instance_type();

PyObject* ov_create_instance(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

}  // namespace ovpi_sys
