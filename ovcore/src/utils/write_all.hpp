#pragma once

#include <string_view>

namespace ovcore::utils {

// Writes all of `data` to file descriptor `fd` as one unit, retrying partial
// writes and interrupted calls. A non-blocking descriptor that is full is
// waited on until it takes more, so nothing is cut short by a slow reader.
// Returns false when the descriptor refuses it.
bool write_all(int fd, std::string_view data) noexcept;

}  // namespace ovcore::utils
