#pragma once
// OV_TRY(expr): the one way a failed result travels on. `expr` is a
// utils::Result, and nothing else (a plain std::expected does not compile:
// a result that may be dropped unread has no place on this path); on
// failure the enclosing function returns its error (as std::unexpected,
// converting to the function's own result type), else OV_TRY yields the
// value (nothing, for Result<void, E>).
//
//   PyResult<OwnedRef> value = ...;
//   std::uint16_t major = OV_TRY(extract_u16(value->borrow()));
//   OV_TRY(add_to_module(module, name, std::move(object)));
//
// A GNU statement expression (GCC and Clang); __extension__ keeps
// -Wpedantic quiet about it.

#include <expected>
#include <type_traits>
#include <utility>

#include "ovcore/src/utils/result.hpp"

namespace ovcore::utils::try_detail {

template <class T, class E>
constexpr T take_value(Result<T, E>&& result) {
  if constexpr (std::is_void_v<T>) {
    return;
  } else {
    return std::move(*result);
  }
}

}  // namespace ovcore::utils::try_detail

#define OV_TRY(...)                                                                 \
  __extension__({                                                                   \
    auto ov_try_result_ = (__VA_ARGS__);                                            \
    if (!ov_try_result_) return std::unexpected(std::move(ov_try_result_).error()); \
    ::ovcore::utils::try_detail::take_value(std::move(ov_try_result_));             \
  })
