#include "ovcore/src/utils/named_thread.hpp"

#include <sys/prctl.h>

namespace ovcore::utils {
namespace {
thread_local std::optional<std::string> thread_name;
}  // namespace

const std::string* current_thread_name() noexcept { return thread_name ? &*thread_name : nullptr; }

void detail::set_current_thread_name(std::string name) {
  // The kernel keeps at most 15 bytes; debuggers show that much. prctl names
  // the calling thread as pthread_setname_np does, on every glibc.
  prctl(PR_SET_NAME, name.substr(0, 15).c_str());
  thread_name = std::move(name);
}

}  // namespace ovcore::utils
