#include "ovcore/src/binding/attach.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "ovcore/src/utils/fatal.hpp"

namespace ovcore::binding {
constinit thread_local int detail::nesting = 0;
std::atomic<bool> detail::deferred_pending{false};

namespace {
using detail::deferred_pending;
using detail::nesting;

std::mutex deferred_mutex;
std::vector<PyObject*> deferred;  // guarded by deferred_mutex
}  // namespace

void detail::defer_release(PyObject* object) noexcept {
  std::lock_guard lock(deferred_mutex);
  deferred.push_back(object);
  deferred_pending.store(true, std::memory_order_release);
}

// LCOV_EXCL_START: the process ends here
void detail::abort_forbidden_entry() noexcept {
  std::fputs("uncaught panic at ffi boundary\n", stderr);
  std::abort();
}
// LCOV_EXCL_STOP

void detail::drain_deferred_releases_slow() noexcept {
  std::vector<PyObject*> batch;
  {
    std::lock_guard lock(deferred_mutex);
    batch.swap(deferred);
    deferred_pending.store(false, std::memory_order_relaxed);
  }
  // Outside the mutex: a release may run arbitrary Python code, which may
  // drop references of its own.
  for (PyObject* object : batch) Py_DECREF(object);
}

std::size_t deferred_release_count() noexcept {
  std::lock_guard lock(deferred_mutex);
  return deferred.size();
}

AttachGuard::AttachGuard() {
  if (nesting > 0) {
    ++nesting;
  } else {
    if (nesting < 0) throw utils::FatalError("cannot attach to the interpreter on this thread now");
    if (Py_IsFinalizing()) {
      throw utils::FatalError("cannot call into Python: the interpreter is finalizing");
    }
    state_ = PyGILState_Ensure();
    ensured_ = true;
    nesting = 1;
  }
  attached_ = true;
  drain_deferred_releases();
}

void AttachGuard::detach() noexcept {
  if (!attached_) return;
  attached_ = false;
  if (ensured_) {
    PyGILState_Release(state_);
    nesting = 0;
  } else {
    --nesting;
  }
}

AttachGuard::~AttachGuard() { detach(); }

}  // namespace ovcore::binding
