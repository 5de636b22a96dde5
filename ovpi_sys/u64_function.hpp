#pragma once
// A module function of one unsigned 64-bit argument `n` whose result is a
// lookup that may find nothing (the result does not fit): argument binding,
// both forms of the call boundary, and the result int.
//
//   call_u64_function<F>(self, args, nargsf, kwnames)
//
// F names the function (F::kName, for binding errors) and gives the lookup
// as F::Table (kSize and kValues: n < kSize has the result kValues[n]). A
// lookup that finds nothing raises OverflowError "integer overflow".

#include <cstdint>
#include <optional>
#include <string_view>

#include "ovcore/src/binding/call_boundary.hpp"
#include "ovcore/src/utils/try.hpp"
#include "ovpi_sys/arguments.hpp"

namespace ovpi_sys {
namespace detail {

// The argument's value when it is an int that every argument in range is:
// one digit, read in place where the interpreter lets us. Anything else
// comes out out of range (-1, no error set), and the general form takes it
// from the start. Any int, subclasses included, reads as the general form
// reads it.
inline std::uint64_t small_argument(PyObject* argument) noexcept {
#ifdef PyUnstable_Long_IsCompact
  auto* number = reinterpret_cast<PyLongObject*>(argument);
  if (PyLong_Check(argument) && PyUnstable_Long_IsCompact(number)) [[likely]] {
    return static_cast<std::uint64_t>(PyUnstable_Long_CompactValue(number));  // negative: out of range
  }
  return static_cast<std::uint64_t>(-1);
#else
  const unsigned long long n = PyLong_AsUnsignedLongLong(argument);
  if (n == static_cast<unsigned long long>(-1)) PyErr_Clear();  // the general form raises it again
  return n;
#endif
}

// The result as a new int, or NULL with nothing set when the interpreter
// could not make one.
inline PyObject* result_int(std::uint64_t value) noexcept { return PyLong_FromUnsignedLongLong(value); }

// Creating the result int failed: fatal. Throws. The plain form meets it
// only by handing the call to the general form (below), which tries again
// and throws this if that fails too.
[[noreturn]] void result_int_not_created();

// The general form: any arguments, every failure raised with its own text.
// Out of line and cold, with the entry point's own signature, so that the
// common call does not carry its frame.
template <class Function>
[[gnu::noipa, gnu::cold]] PyObject* call_general(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                                                 PyObject* kwnames) {
  return ovcore::binding::call_function([&]() -> PyResult<OwnedRef> {
    BorrowedRef argument = OV_TRY(bind_one_argument(Function::kName, "n", args, nargsf, kwnames));
    const std::uint64_t n = OV_TRY(argument_as_u64(argument, "n"));
    if (n >= Function::Table::kSize) return std::unexpected(PyError::lazy(PyExc_OverflowError, "integer overflow"));
    PyObject* value = result_int(Function::Table::kValues[n]);
    if (value == nullptr) result_int_not_created();  // LCOV_EXCL_LINE: only when out of memory
    return OwnedRef::steal(value);
  });
}

// The plain form's way out when the result int could not be made: the
// general form, with the failure's exception cleared. Out of line and cold,
// so that the common call carries none of it.
template <class Function>
[[gnu::noipa, gnu::cold]] PyObject* retry_in_general_form(PyObject* const* args) noexcept {
  PyErr_Clear();                                             // LCOV_EXCL_LINE: only when out of memory
  return call_general<Function>(nullptr, args, 1, nullptr);  // LCOV_EXCL_LINE
}

}  // namespace detail

template <class Function>
PyObject* call_u64_function(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  // The common call -- one positional int whose result fits -- needs none of
  // the error machinery, so it takes the plain form. Anything else takes the
  // general form, which raises what it finds.
  if (kwnames == nullptr && PyVectorcall_NARGS(nargsf) == 1) [[likely]] {
    using Table = typename Function::Table;
    const auto general = [args]() noexcept { return detail::call_general<Function>(nullptr, args, 1, nullptr); };
    return ovcore::binding::call_plain(
        [args, general]() noexcept -> PyObject* {
          const std::uint64_t n = detail::small_argument(args[0]);
          if (n >= Table::kSize) [[unlikely]]
            return general();
          PyObject* made = detail::result_int(Table::kValues[n]);
          if (made == nullptr) [[unlikely]]
            return detail::retry_in_general_form<Function>(args);
          return made;
        },
        general);
  }
  return detail::call_general<Function>(self, args, nargsf, kwnames);
}

}  // namespace ovpi_sys
