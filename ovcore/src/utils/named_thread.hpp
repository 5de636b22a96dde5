#pragma once
// Threads the system starts under a name. Only such threads report a name in
// log messages; threads started by anyone else (the Python interpreter, the
// host) have none.

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace ovcore::utils {

// The name this thread was started under, or nullptr.
const std::string* current_thread_name() noexcept;

namespace detail {
void set_current_thread_name(std::string name);
}

// Starts `body` on a new thread named `name`.
template <class Body>
std::thread spawn_named_thread(std::string name, Body&& body) {
  return std::thread([name = std::move(name), body = std::forward<Body>(body)]() mutable {
    detail::set_current_thread_name(std::move(name));
    std::invoke(std::move(body));
  });
}

}  // namespace ovcore::utils
