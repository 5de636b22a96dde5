#pragma once
// Values made once per process (interned names, imported types, C-API
// capsules, the module object) by the first thread that needs them.
//
// Exactly one maker runs. Threads that arrive meanwhile wait on a PyMutex,
// which detaches them from the interpreter while they wait, so the maker may
// itself give up the interpreter (an import does) without deadlocking with
// them. A failed attempt publishes nothing: the next caller tries again. A
// maker that needs its own value again on the same thread (through Python
// code it runs) gets a RuntimeError instead of waiting for itself forever.

#include <atomic>
#include <type_traits>

#include "ovcore/src/binding/py_error.hpp"

namespace ovcore::binding {

// Holds a PyMutex for a scope. PyMutex_Lock detaches from the interpreter
// while it waits.
class PyMutexGuard {
 public:
  explicit PyMutexGuard(PyMutex& mutex) noexcept : mutex_(mutex) { PyMutex_Lock(&mutex_); }
  ~PyMutexGuard() { PyMutex_Unlock(&mutex_); }
  PyMutexGuard(const PyMutexGuard&) = delete;
  PyMutexGuard& operator=(const PyMutexGuard&) = delete;

 private:
  PyMutex& mutex_;
};

// `T` is a pointer; null means "not made yet". Objects it points to are
// kept for the life of the process. Constant-initialized, so usable from
// load-time code.
template <class T>
  requires std::is_pointer_v<T>
class ProcessOnce {
 public:
  constexpr ProcessOnce() = default;
  ProcessOnce(const ProcessOnce&) = delete;
  ProcessOnce& operator=(const ProcessOnce&) = delete;

  // The value, made by `make` (returning PyResult<T> with a non-null value,
  // or throwing utils::FatalError) when no thread has made it yet. Needs an
  // attached thread. One acquire load once it exists.
  template <class Make>
  PyResult<T> get(Make&& make) {
    if (T value = value_.load(std::memory_order_acquire)) return value;
    return get_slow(make);
  }

  // The value if it has been made, else null.
  T peek() const noexcept { return value_.load(std::memory_order_acquire); }

 private:
  template <class Make>
  PyResult<T> get_slow(Make& make) {
    const unsigned long self = PyThread_get_thread_ident();
    if (maker_.load(std::memory_order_relaxed) == self) {
      return std::unexpected(
          PyError::lazy(PyExc_RuntimeError, "a process-wide value was needed again while it was being made"));
    }
    PyMutexGuard lock(mutex_);
    if (T value = value_.load(std::memory_order_acquire)) return value;
    maker_.store(self, std::memory_order_relaxed);
    struct ClearMaker {
      std::atomic<unsigned long>& maker;
      ~ClearMaker() { maker.store(0, std::memory_order_relaxed); }
    } clear{maker_};
    PyResult<T> made = make();
    if (made) value_.store(*made, std::memory_order_release);
    return made;
  }

  std::atomic<T> value_{nullptr};
  // The thread running `make`, 0 when none: read by other threads only to
  // compare with their own id, which it never equals.
  std::atomic<unsigned long> maker_{0};
  PyMutex mutex_{};
};

}  // namespace ovcore::binding
