#pragma once
// OV_TRY(expr): the one way a failed result travels on. `expr` is a
// utils::Result, and nothing else: a plain std::expected is refused with a
// static_assert that says so (a result that may be dropped unread has no
// place on this path; tests/cpp/try_plain_expected.cpp holds that). On
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

// What OV_TRY takes: a utils::Result alone, as Abseil's
// IsAllowedStatusOrMacroType admits its own types alone.
template <class R>
inline constexpr bool is_result = false;
template <class T, class E>
inline constexpr bool is_result<Result<T, E>> = true;

// Any expected's value, so that a refused type meets the static_assert
// alone, not a failed deduction after it.
template <class R>
constexpr typename R::value_type take_value(R&& result) {
  if constexpr (std::is_void_v<typename R::value_type>) {
    return;
  } else {
    return std::move(*result);
  }
}

}  // namespace ovcore::utils::try_detail

#define OV_TRY(...)                                                                                \
  __extension__({                                                                                  \
    auto ov_try_result_ = (__VA_ARGS__);                                                           \
    static_assert(::ovcore::utils::try_detail::is_result<decltype(ov_try_result_)>,                \
                  "OV_TRY takes a utils::Result (OvResult, PyResult), not a plain std::expected: " \
                  "return or wrap the operation's result as a Result, which must be used");        \
    if (!ov_try_result_) [[unlikely]]                                                              \
      return std::unexpected(std::move(ov_try_result_).error());                                   \
    ::ovcore::utils::try_detail::take_value(std::move(ov_try_result_));                            \
  })
