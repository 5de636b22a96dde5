#pragma once
// Binding the one argument of a module function, and the conversion of that
// argument with its error rewording.

#include <cstdint>
#include <string_view>

#include "ovpi_sys/call_boundary.hpp"

namespace ovpi_sys {

// The argument bound to `parameter` of `function` (positionally or by
// keyword), or the TypeError the interpreter's own functions would raise.
PyResult<BorrowedRef> bind_one_argument(std::string_view function, std::string_view parameter,
                                        PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

// The argument as an unsigned 64-bit integer. A TypeError from the
// conversion is reworded to "argument '<parameter>': ..." (keeping its
// cause); other errors pass unchanged.
PyResult<std::uint64_t> argument_as_u64(BorrowedRef argument, std::string_view parameter);

}  // namespace ovpi_sys
