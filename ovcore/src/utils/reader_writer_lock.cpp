#include "ovcore/src/utils/reader_writer_lock.hpp"

namespace ovcore::utils {

void ReaderWriterLock::wait_for_writer() noexcept {
  // The writer took the lock before this reader arrived: step back out and
  // enter again once it has gone. No writer waits on the count here (it holds
  // the lock), and the holder's unlock wakes every waiter anyway.
  std::uint32_t state = state_.fetch_sub(kReader, std::memory_order_relaxed) - kReader;
  for (;;) {
    while ((state & kWriterHolds) != 0) {
      state_.wait(state, std::memory_order_relaxed);
      state = state_.load(std::memory_order_relaxed);
    }
    state = state_.fetch_add(kReader, std::memory_order_acquire);
    if ((state & kWriterHolds) == 0) return;
    state = state_.fetch_sub(kReader, std::memory_order_relaxed) - kReader;
  }
}

void ReaderWriterLock::lock() noexcept {
  std::uint32_t state = state_.load(std::memory_order_relaxed);
  for (;;) {
    if ((state & ~kWriterWaits) == 0) {
      // Free: take it. Clearing the waiting bit is safe, since other waiting
      // writers are woken by this writer's unlock and set it again.
      if (state_.compare_exchange_weak(state, kWriterHolds, std::memory_order_acquire, std::memory_order_relaxed)) {
        return;
      }
      continue;
    }
    if ((state & kWriterWaits) == 0) {
      // Readers inside: ask the last one out to wake us before sleeping.
      if (!state_.compare_exchange_weak(state, state | kWriterWaits, std::memory_order_relaxed)) continue;
      state |= kWriterWaits;
    }
    // Sleeps only while the state is still `state`; any change wakes us.
    state_.wait(state, std::memory_order_relaxed);
    state = state_.load(std::memory_order_relaxed);
  }
}

void ReaderWriterLock::unlock() noexcept {
  state_.fetch_and(~kWriterHolds, std::memory_order_release);
  state_.notify_all();
}

}  // namespace ovcore::utils
