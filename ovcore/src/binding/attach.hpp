#pragma once
// Which threads are attached to the interpreter through this module, and the
// references dropped while they were not.
//
// Every entry from the interpreter (the call boundary) raises the thread's
// nesting count; code that calls into Python from a thread of its own (the
// log callback) attaches with `AttachGuard`. A reference dropped on a thread
// with a count of zero is queued and released at the next entry.

#include <atomic>
#include <cstddef>

#include "ovcore/src/binding/py_ref.hpp"

namespace ovcore::binding {

namespace detail {
// Read on every call from the interpreter, so both are declared here where
// callers can inline the reads: the count (py_ref.hpp) is a thread-local
// int, the flag says whether the queue has anything in it. Hidden, since
// nothing outside the module reads the flag.
[[gnu::visibility("hidden")]] extern std::atomic<bool> deferred_pending;
void drain_deferred_releases_slow() noexcept;
[[noreturn]] void abort_forbidden_entry() noexcept;
}  // namespace detail

// Releases every queued reference. Needs an attached thread. An empty queue
// is seen from the flag alone, without its mutex.
inline void drain_deferred_releases() noexcept {
  // Relaxed: the drain reads the queue under its mutex, which orders it after
  // every push; the flag only says whether to look.
  if (detail::deferred_pending.load(std::memory_order_relaxed)) [[unlikely]]
    detail::drain_deferred_releases_slow();
}

// Number of references waiting in the queue (for tests and diagnostics).
std::size_t deferred_release_count() noexcept;

// Whether an entry needs nothing beyond the count: the thread may enter
// and no release is queued.
inline bool entry_needs_only_the_count() noexcept {
  return detail::nesting >= 0 && !detail::deferred_pending.load(std::memory_order_relaxed);
}

// The count alone, for an entry that `entry_needs_only_the_count` allowed.
class CountOnlyScope {
 public:
  CountOnlyScope() noexcept { ++detail::nesting; }
  ~CountOnlyScope() { --detail::nesting; }
  CountOnlyScope(const CountOnlyScope&) = delete;
  CountOnlyScope& operator=(const CountOnlyScope&) = delete;
};

// Marks an entry from the interpreter: the thread already holds the
// interpreter. Raises the count and drains the queue; lowers it on exit.
// Aborts the process when attaching is forbidden on this thread.
class BoundaryScope {
 public:
  BoundaryScope() noexcept {
    // Counted first and tested after: a count that was negative is still
    // not positive after the increment, so one test covers both.
    if (++detail::nesting <= 0) [[unlikely]]
      detail::abort_forbidden_entry();
    drain_deferred_releases();
  }
  ~BoundaryScope() { --detail::nesting; }
  BoundaryScope(const BoundaryScope&) = delete;
  BoundaryScope& operator=(const BoundaryScope&) = delete;
};

// Attaches a thread that may or may not hold the interpreter: only raises
// the count when it is already attached through the module, otherwise
// ensures the interpreter state. Throws utils::FatalError when the
// interpreter is finalizing.
class AttachGuard {
 public:
  AttachGuard();
  ~AttachGuard();
  AttachGuard(const AttachGuard&) = delete;
  AttachGuard& operator=(const AttachGuard&) = delete;

  // Detaches now, before the guard goes out of scope.
  void detach() noexcept;

 private:
  bool attached_ = false;
  bool ensured_ = false;
  PyGILState_STATE state_{};
};

}  // namespace ovcore::binding
