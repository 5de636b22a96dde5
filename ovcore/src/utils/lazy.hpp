#pragma once
// A value built on first use and kept until the container is destroyed.
//
// Scaffolding: only the specialised functions' containers use it, and
// nothing fills those yet (see specializations/base.hpp).

#include <optional>
#include <utility>

namespace ovcore::utils::lazy {

template <class T>
class LazyContainer {
 public:
  bool is_built() const noexcept { return value_.has_value(); }

  template <class Build>
  T& get_or_build(Build&& build) {
    if (!value_) value_.emplace(std::forward<Build>(build)());
    return *value_;
  }

 private:
  std::optional<T> value_;
};

}  // namespace ovcore::utils::lazy
