// The release module's reroutes of the runtimes' newer glibc imports: each
// behaves as the function it replaces. arc4random runs against a getrandom
// of the test's own: this binary's definition takes the place of the C
// library's.

#include <link.h>
#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/random.h>
#include <vector>

#include <gtest/gtest.h>

extern "C" std::uint32_t __wrap_arc4random();
extern "C" int __wrap_pthread_once(pthread_once_t* once, void (*init)());
extern "C" int __wrap__dl_find_object(void* address, dl_find_object* result);

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

int once_calls = 0;
void count_once() { ++once_calls; }

TEST(PthreadOnce, RunsItsInitializerOnce) {
  pthread_once_t once = PTHREAD_ONCE_INIT;
  EXPECT_EQ(__wrap_pthread_once(&once, &count_once), 0);
  EXPECT_EQ(__wrap_pthread_once(&once, &count_once), 0);
  EXPECT_EQ(once_calls, 1);
}

TEST(DlFindObject, FindsTheObjectThatHoldsAnAddressWithItsUnwindTable) {
  dl_find_object found{};
  auto* code = reinterpret_cast<void*>(&count_once);
  ASSERT_EQ(__wrap__dl_find_object(code, &found), 0);
  EXPECT_LE(found.dlfo_map_start, code);
  EXPECT_GT(found.dlfo_map_end, code);
  EXPECT_NE(found.dlfo_eh_frame, nullptr);
  EXPECT_EQ(found.dlfo_flags, 0ULL);
  // The unwind table the C library's own finds, which the unwinder reads.
  dl_find_object expected{};
  ASSERT_EQ(_dl_find_object(code, &expected), 0);
  EXPECT_EQ(found.dlfo_eh_frame, expected.dlfo_eh_frame);
}

TEST(DlFindObject, RefusesAnAddressNoObjectHolds) {
  dl_find_object found{};
  EXPECT_EQ(__wrap__dl_find_object(nullptr, &found), -1);
}

}  // namespace
