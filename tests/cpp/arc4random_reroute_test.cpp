// The release module's arc4random reroute, against a getrandom of the
// test's own: this binary's definition takes the place of the C library's.

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" std::uint32_t __wrap_arc4random();

namespace {

// What each call of getrandom does in turn: a count of bytes to fill with
// 0xAB, or a negative errno to fail with.
std::vector<int> script;
std::size_t next_step = 0;

}  // namespace

extern "C" ssize_t getrandom(void* buffer, std::size_t length, unsigned int) {
  const int step = next_step < script.size() ? script[next_step++] : static_cast<int>(length);
  if (step < 0) {
    errno = -step;
    return -1;
  }
  const std::size_t filled = std::min(length, static_cast<std::size_t>(step));
  std::memset(buffer, 0xAB, filled);
  return static_cast<ssize_t>(filled);
}

namespace {

class Arc4randomFills : public testing::TestWithParam<std::vector<int>> {};

TEST_P(Arc4randomFills, EveryByteWhateverTheReadsAndInterruptions) {
  script = GetParam();
  next_step = 0;
  EXPECT_EQ(__wrap_arc4random(), 0xABABABABu);
}

INSTANTIATE_TEST_SUITE_P(Reads, Arc4randomFills,
                         testing::Values(std::vector{4}, std::vector{1, 1, 2}, std::vector{-EINTR, 4},
                                         std::vector{3, -EINTR, -EINTR, 1}));

class Arc4randomEnds : public testing::TestWithParam<int> {};

TEST_P(Arc4randomEnds, TheProcessWhenGetrandomFailsForGood) {
  const int error = GetParam();
  const std::string expected =
      "ovpi: fatal: cannot get entropy for arc4random: getrandom failed: .*\\(errno " + std::to_string(error) + "\\)";
  script = {2, -error};
  next_step = 0;
  EXPECT_DEATH(__wrap_arc4random(), expected);
}

INSTANTIATE_TEST_SUITE_P(Errors, Arc4randomEnds, testing::Values(ENOSYS, EAGAIN, EPERM));

}  // namespace
