#include "ovcore/src/utils/reader_writer_lock.hpp"

#include <atomic>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using ovcore::utils::ReaderWriterLock;
using namespace std::chrono_literals;

// Readers check that no writer is inside and that the two halves of the
// guarded pair agree; writers change both halves. A reader let in beside a
// writer sees them differ (and ThreadSanitizer sees the race).
TEST(ReaderWriterLock, WritersAreAloneAndReadersSeeWholeWrites) {
  ReaderWriterLock lock;
  long first = 0;
  long second = 0;
  std::atomic<int> writers_inside{0};
  std::atomic<bool> torn{false};
  constexpr int kRounds = 20000;
  std::vector<std::thread> threads;
  for (int w = 0; w < 2; ++w) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds / 10; ++i) {
        std::unique_lock guard(lock);
        if (writers_inside.fetch_add(1) != 0) torn = true;
        ++first;
        std::this_thread::yield();
        ++second;
        writers_inside.fetch_sub(1);
      }
    });
  }
  for (int r = 0; r < 3; ++r) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        std::shared_lock guard(lock);
        if (writers_inside.load() != 0 || first != second) torn = true;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(torn);
  EXPECT_EQ(first, 2 * kRounds / 10);
  EXPECT_EQ(second, first);
}

// A delivery may log again on the same thread while a writer waits for the
// lock: the nested shared lock must be granted, not queued behind the writer.
TEST(ReaderWriterLock, ANestedReaderIsNotQueuedBehindAWaitingWriter) {
  ReaderWriterLock lock;
  std::atomic<bool> writer_done{false};
  std::shared_lock outer(lock);
  std::thread writer([&] {
    std::unique_lock guard(lock);
    writer_done = true;
  });
  std::this_thread::sleep_for(50ms);  // the writer is waiting by now
  {
    std::shared_lock inner(lock);
    EXPECT_FALSE(writer_done);
  }
  EXPECT_FALSE(writer_done);
  outer.unlock();
  writer.join();  // the last reader out woke it
  EXPECT_TRUE(writer_done);
}

// Readers that arrive while a writer holds the lock sleep until it leaves,
// and every waiting writer is woken in turn.
TEST(ReaderWriterLock, WaitersOfBothKindsAreWokenWhenTheWriterLeaves) {
  ReaderWriterLock lock;
  std::unique_lock held(lock);
  std::atomic<int> entered{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&] {
      std::shared_lock guard(lock);
      entered.fetch_add(1);
    });
    threads.emplace_back([&] {
      std::unique_lock guard(lock);
      entered.fetch_add(1);
    });
  }
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(entered.load(), 0);
  held.unlock();
  for (auto& t : threads) t.join();
  EXPECT_EQ(entered.load(), 6);
}

}  // namespace
