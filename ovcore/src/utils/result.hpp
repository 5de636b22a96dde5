#pragma once
// Result<T, E>: the value of an operation that can fail in an ordinary way,
// or its error. A std::expected that is must-use on the type itself, so that
// every function returning one is, and a result dropped unread fails to
// compile under -Werror; each result type of the system is an alias of it.

#include <expected>
#include <type_traits>
#include <utility>

namespace ovcore::utils {

template <class T, class E>
class [[nodiscard]] Result : public std::expected<T, E> {
 public:
  using std::expected<T, E>::expected;
  Result() = default;
  // From the plain expected that std::expected's own operations return.
  Result(std::expected<T, E>&& other) noexcept(std::is_nothrow_move_constructible_v<std::expected<T, E>>)
      : std::expected<T, E>(std::move(other)) {}
};

}  // namespace ovcore::utils
