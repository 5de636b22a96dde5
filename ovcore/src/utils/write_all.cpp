#include "ovcore/src/utils/write_all.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace ovcore::utils {
namespace {

// Blocks until `fd` can take more; false when it never will.
bool wait_writable(int fd) noexcept {
  pollfd entry{.fd = fd, .events = POLLOUT, .revents = 0};
  while (::poll(&entry, 1, -1) < 0) {
    if (errno != EINTR) return false;  // LCOV_EXCL_LINE: poll of one valid descriptor fails only on ENOMEM
  }
  return (entry.revents & (POLLERR | POLLNVAL)) == 0;
}

}  // namespace

bool write_all(int fd, std::string_view data) noexcept {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && wait_writable(fd)) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace ovcore::utils
