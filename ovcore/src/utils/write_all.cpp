#include "ovcore/src/utils/write_all.hpp"

#include <unistd.h>

#include <cerrno>

namespace ovcore::utils {

bool write_all(int fd, std::string_view data) noexcept {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace ovcore::utils
