#pragma once
// factorial and fibonacci in unsigned 64-bit arithmetic. nullopt means the
// result does not fit; the work is bounded whatever `n` is.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "ovcore/src/binding/py_ref.hpp"

namespace ovpi_sys {

constexpr std::optional<std::uint64_t> checked_factorial(std::uint64_t n) {
  std::uint64_t acc = 1;
  for (std::uint64_t i = 2; i <= n; ++i) {  // overflows at i = 21 at the latest
    if (__builtin_mul_overflow(acc, i, &acc)) return std::nullopt;
  }
  return acc;
}

// F(0) = 0, F(1) = 1. Each step computes the next number too, so F(n) is
// returned only when F(n + 1) also fits: 92 is the largest accepted argument
// although F(93) itself fits.
constexpr std::optional<std::uint64_t> checked_fibonacci(std::uint64_t n) {
  std::uint64_t current = 0;               // F(k)
  std::uint64_t next = 1;                  // F(k + 1)
  for (std::uint64_t k = 0; k < n; ++k) {  // overflows at k = 92 at the latest
    std::uint64_t after;
    if (__builtin_add_overflow(current, next, &after)) return std::nullopt;
    current = next;
    next = after;
  }
  return current;
}

// Every result that fits, computed at compile time by the checked loops
// above: a call looks its answer up instead of computing it.
template <std::optional<std::uint64_t> (*Compute)(std::uint64_t)>
struct ResultTable {
  static constexpr std::size_t kSize = [] {
    std::size_t n = 0;
    while (Compute(n)) ++n;
    return n;
  }();
  static constexpr auto kValues = [] {
    std::array<std::uint64_t, kSize> values{};
    for (std::size_t n = 0; n < kSize; ++n) values[n] = *Compute(n);
    return values;
  }();
};

using FactorialTable = ResultTable<checked_factorial>;
using FibonacciTable = ResultTable<checked_fibonacci>;

static_assert(FactorialTable::kSize == 21);
static_assert(FibonacciTable::kSize == 93);
static_assert(checked_factorial(20) == 2432902008176640000ULL);
static_assert(!checked_factorial(21));
static_assert(checked_fibonacci(92) == 7540113804746346429ULL);
static_assert(!checked_fibonacci(93));

PyObject* factorial(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
PyObject* fibonacci(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

}  // namespace ovpi_sys
