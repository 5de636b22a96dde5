#include "ovpi_sys/numeric.hpp"

#include "ovcore/src/utils/fatal.hpp"
#include "ovpi_sys/binding.hpp"

namespace ovpi_sys {
namespace {

template <auto compute>
PyObject* numeric_call(const char* name, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  // The common call -- one positional int whose result fits -- needs none of
  // the error machinery: only the boundary's bookkeeping, and nothing here
  // can throw. Anything else takes the general path below from the start.
  if (kwnames == nullptr && PyVectorcall_NARGS(nargsf) == 1 && PyLong_CheckExact(args[0])) {
    ovcore::python::BoundaryScope scope;
    const unsigned long long n = PyLong_AsUnsignedLongLong(args[0]);
    if (n != static_cast<unsigned long long>(-1) || !PyErr_Occurred()) {
      if (const std::optional<std::uint64_t> result = compute(n)) {
        if (PyObject* value = PyLong_FromUnsignedLongLong(*result)) return value;
      }
    }
    PyErr_Clear();  // the general path raises the same error again
  }
  return call_function([&]() -> PyResult<OwnedRef> {
    PyResult<BorrowedRef> argument = bind_one_argument(name, "n", args, nargsf, kwnames);
    if (!argument) return std::unexpected(std::move(argument.error()));
    PyResult<std::uint64_t> n = argument_as_u64(*argument, "n");
    if (!n) return std::unexpected(std::move(n.error()));
    const std::optional<std::uint64_t> result = compute(*n);
    if (!result) return std::unexpected(PyError::lazy(PyExc_OverflowError, "integer overflow"));
    PyObject* value = PyLong_FromUnsignedLongLong(*result);
    if (value == nullptr) {
      PyErr_Clear();
      throw ovcore::utils::FatalError("could not create the result int");
    }
    return OwnedRef::steal(value);
  });
}

}  // namespace

PyObject* factorial(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return numeric_call<factorial_of>("factorial", args, nargsf, kwnames);
}

PyObject* fibonacci(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return numeric_call<fibonacci_of>("fibonacci", args, nargsf, kwnames);
}

}  // namespace ovpi_sys
