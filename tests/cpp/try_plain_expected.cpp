// Compiled by a test that expects it to fail: OV_TRY given a plain
// std::expected, which it refuses with its own message.
#include <expected>

#include "ovcore/src/utils/try.hpp"

ovcore::utils::Result<int, int> forward(std::expected<int, int> plain) {
  int value = OV_TRY(std::move(plain));
  return value + 1;
}
