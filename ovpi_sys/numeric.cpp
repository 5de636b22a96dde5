#include "ovpi_sys/numeric.hpp"

#include "ovcore/src/python/call_boundary.hpp"
#include "ovcore/src/utils/fatal.hpp"
#include "ovcore/src/utils/try.hpp"
#include "ovpi_sys/binding.hpp"

namespace ovpi_sys {
namespace {

// The argument's value when it is an int that every argument in range is:
// one digit, read in place where the interpreter lets us. Anything else
// comes out out of range (-1, no error set), and the general
// form takes it from the start. Any int, subclasses included, reads as the
// general form reads it.
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

// Creating the result int failed: fatal, in either form.
// LCOV_EXCL_START: only when the interpreter runs out of memory
[[noreturn]] void result_int_not_created() {
  PyErr_Clear();
  throw ovcore::utils::FatalError("could not create the result int");
}
// LCOV_EXCL_STOP

// The general form: any arguments, and every failure raised with its own
// text. Kept out of line, with the entry point's own signature, so that the
// common call below carries none of its frame and reaches it by a jump.
template <class Function>
[[gnu::noipa, gnu::cold]] PyObject* numeric_call_general(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                                                 PyObject* kwnames) {
  return ovcore::python::call_function([&]() -> PyResult<OwnedRef> {
    BorrowedRef argument = OV_TRY(bind_one_argument(Function::kName, "n", args, nargsf, kwnames));
    const std::uint64_t n = OV_TRY(argument_as_u64(argument, "n"));
    const std::optional<std::uint64_t> result = Function::Table::lookup(n);
    if (!result) return std::unexpected(PyError::lazy(PyExc_OverflowError, "integer overflow"));
    PyObject* value = PyLong_FromUnsignedLongLong(*result);
    if (value == nullptr) result_int_not_created();  // LCOV_EXCL_LINE: only when out of memory
    return OwnedRef::steal(value);
  });
}

// The common call's way to the same fatal error, through the boundary.
// LCOV_EXCL_START: only when the interpreter runs out of memory
[[gnu::cold, gnu::noinline]] PyObject* result_int_failed() noexcept {
  return ovcore::python::call_function([]() -> PyResult<OwnedRef> { result_int_not_created(); });
}
// LCOV_EXCL_STOP

template <class Function>
PyObject* numeric_call(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  // The common call -- one positional int whose result fits -- needs none of
  // the error machinery. Anything else takes the general form, which raises
  // what it finds; nothing but the int's creation comes after it.
  if (kwnames == nullptr && PyVectorcall_NARGS(nargsf) == 1) [[likely]] {
    using Table = typename Function::Table;
    const auto general = [args]() noexcept { return numeric_call_general<Function>(nullptr, args, 1, nullptr); };
    return ovcore::python::call_plain(
        [args, general]() noexcept -> PyObject* {
          const std::uint64_t n = small_argument(args[0]);
          if (n >= Table::kSize) [[unlikely]] return general();
          PyObject* made = PyLong_FromUnsignedLongLong(Table::kValues[n]);
          if (made == nullptr) [[unlikely]] return result_int_failed();
          return made;
        },
        general);
  }
  return numeric_call_general<Function>(self, args, nargsf, kwnames);
}

struct Factorial {
  static constexpr std::string_view kName = "factorial";
  using Table = FactorialTable;
};

struct Fibonacci {
  static constexpr std::string_view kName = "fibonacci";
  using Table = FibonacciTable;
};

}  // namespace

PyObject* factorial(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return numeric_call<Factorial>(self, args, nargsf, kwnames);
}

PyObject* fibonacci(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return numeric_call<Fibonacci>(self, args, nargsf, kwnames);
}

}  // namespace ovpi_sys
