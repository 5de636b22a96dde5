#include "ovpi_sys/numeric.hpp"

#include "ovpi_sys/u64_function.hpp"

namespace ovpi_sys {
namespace {

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
  return call_u64_function<Factorial>(self, args, nargsf, kwnames);
}

PyObject* fibonacci(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return call_u64_function<Fibonacci>(self, args, nargsf, kwnames);
}

}  // namespace ovpi_sys
