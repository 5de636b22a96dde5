// A reader-writer lock whose shared side touches one atomic counter when no
// writer holds it: every log message takes it shared, and writers come once
// per instance, so the shared side is the one worth keeping small.
//
// Readers are preferred: a reader enters while a writer only waits, so a
// thread that already holds the lock shared can take it shared again without
// deadlocking behind that writer (as with the default POSIX rwlock). A writer
// waits, without a time limit, until it holds the lock alone. Meets
// SharedLockable and Lockable, for std::shared_lock and std::unique_lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace ovcore::utils {

class ReaderWriterLock {
 public:
  ReaderWriterLock() = default;
  ReaderWriterLock(const ReaderWriterLock&) = delete;
  ReaderWriterLock& operator=(const ReaderWriterLock&) = delete;

  void lock_shared() noexcept {
    if ((state_.fetch_add(kReader, std::memory_order_acquire) & kWriterHolds) != 0) wait_for_writer();
  }
  void unlock_shared() noexcept {
    // The last reader out wakes the writers that wait for it.
    if (state_.fetch_sub(kReader, std::memory_order_release) == (kReader | kWriterWaits)) state_.notify_all();
  }
  void lock() noexcept;
  void unlock() noexcept;

 private:
  static constexpr std::uint32_t kWriterHolds = 1;
  static constexpr std::uint32_t kWriterWaits = 2;
  static constexpr std::uint32_t kReader = 4;

  void wait_for_writer() noexcept;

  // Readers in units of kReader, plus the two writer bits.
  std::atomic<std::uint32_t> state_{0};
};

}  // namespace ovcore::utils
