#include "ovpi_sys/numeric.hpp"

#include "ovcore/src/python/call_boundary.hpp"
#include "ovcore/src/utils/fatal.hpp"
#include "ovcore/src/utils/try.hpp"
#include "ovpi_sys/binding.hpp"

namespace ovpi_sys {
namespace {

template <auto compute>
PyObject* numeric_call(const char* name, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  // The common call -- one positional int whose result fits -- needs none of
  // the error machinery. Anything else takes the general form from the start.
  if (kwnames == nullptr && PyVectorcall_NARGS(nargsf) == 1 && PyLong_CheckExact(args[0])) {
    PyObject* value = ovcore::python::call_plain([argument = args[0]]() noexcept -> PyObject* {
      const unsigned long long n = PyLong_AsUnsignedLongLong(argument);
      if (n != static_cast<unsigned long long>(-1) || !PyErr_Occurred()) {
        if (const std::optional<std::uint64_t> result = compute(n)) {
          if (PyObject* made = PyLong_FromUnsignedLongLong(*result)) return made;
        }
      }
      PyErr_Clear();  // the general form raises the same error again
      return nullptr;
    });
    if (value != nullptr) return value;
  }
  return ovcore::python::call_function([&]() -> PyResult<OwnedRef> {
    BorrowedRef argument = OV_TRY(bind_one_argument(name, "n", args, nargsf, kwnames));
    const std::uint64_t n = OV_TRY(argument_as_u64(argument, "n"));
    const std::optional<std::uint64_t> result = compute(n);
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
