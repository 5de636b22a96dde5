#pragma once
// Binding the one argument of a module function, and the conversion of that
// argument with its error rewording.

#include <cstdint>
#include <string_view>

#include "ovcore/src/binding/py_error.hpp"

namespace ovpi_sys {

using ovcore::binding::BorrowedRef;
using ovcore::binding::OwnedRef;
using ovcore::binding::PyError;
using ovcore::binding::PyResult;

// The general cases of the two functions below.
PyResult<BorrowedRef> bind_one_argument_slow(std::string_view function, std::string_view parameter,
                                             PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyResult<std::uint64_t> argument_as_u64_slow(BorrowedRef argument, std::string_view parameter);

// The argument bound to `parameter` of `function` (positionally or by
// keyword), or the TypeError the interpreter's own functions would raise.
// Inline for the common call with one positional argument.
inline PyResult<BorrowedRef> bind_one_argument(std::string_view function, std::string_view parameter,
                                               PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  if (kwnames == nullptr && PyVectorcall_NARGS(nargsf) == 1) return BorrowedRef(args[0]);
  return bind_one_argument_slow(function, parameter, args, nargsf, kwnames);
}

// The argument as an unsigned 64-bit integer. A TypeError from the
// conversion is reworded to "argument '<parameter>': ..." (keeping its
// cause); other errors pass unchanged. Inline for an exact int in range.
inline PyResult<std::uint64_t> argument_as_u64(BorrowedRef argument, std::string_view parameter) {
  if (PyLong_CheckExact(argument.get())) {
    const unsigned long long value = PyLong_AsUnsignedLongLong(argument.get());
    if (value != static_cast<unsigned long long>(-1) || !PyErr_Occurred()) return value;
    PyErr_Clear();  // the general path raises it again, with the same message
  }
  return argument_as_u64_slow(argument, parameter);
}

}  // namespace ovpi_sys
