#include "ovpi_sys/live_instances.hpp"

#include <mutex>

#include "ovcore/src/binding/call_boundary.hpp"
#include "ovcore/src/binding/process_once.hpp"
#include "ovcore/src/utils/try.hpp"

namespace ovpi_sys {
namespace {

using ovcore::binding::OwnedRef;
using ovcore::binding::PyResult;

// Guards the list and every handle's context while it is listed. Never held
// while Python code or a teardown runs.
std::mutex list_mutex;
LiveInstance* first = nullptr;

void unlink(LiveInstance& live) noexcept {
  (live.previous != nullptr ? live.previous->next : first) = live.next;
  if (live.next != nullptr) live.next->previous = live.previous;
  live.previous = live.next = nullptr;
}

// The context of some live instance, taken out of its handle; null when
// none is left.
std::shared_ptr<ovcore::base::InstanceContext> take_any() noexcept {
  std::lock_guard lock(list_mutex);
  if (first == nullptr) return nullptr;
  LiveInstance& live = *first;
  unlink(live);
  return std::move(live.context);
}

// The atexit callback. Each teardown is a release of its own, so one that
// fails goes to the unraisable hook and the others still run; instances
// created by those teardowns' callbacks are taken too. An interrupt raised
// by a teardown's callback is reported there as well: the program has
// already ended, and nothing would receive it. Releases on threads that
// still run (daemon threads) report nothing from here on.
PyObject* tear_down_live_instances(PyObject*, PyObject*) {
  ovcore::binding::stop_reports_from_other_threads();
  while (std::shared_ptr<ovcore::base::InstanceContext> context = take_any()) {
    ovcore::binding::call_dealloc([&context] { ovcore::base::release(std::move(context)); },
                                  ovcore::binding::ReleaseTime::kAtExit);
  }
  Py_RETURN_NONE;
}

PyMethodDef teardown_def = {"_ovpi_tear_down_live_instances", &tear_down_live_instances, METH_NOARGS,
                            "Tears down the ovpi instances still alive when the interpreter exits."};

// The registered callback, kept for the process.
ovcore::binding::ProcessOnce<PyObject*> registered;

}  // namespace

PyResult<void> register_exit_teardown() {
  OV_TRY(registered.get([]() -> PyResult<PyObject*> {
    OwnedRef callback = OwnedRef::steal(PyCFunction_New(&teardown_def, nullptr));
    if (!callback) return ovcore::binding::fetched_error();
    OwnedRef atexit = OwnedRef::steal(PyImport_ImportModule("atexit"));
    if (!atexit) return ovcore::binding::fetched_error();
    OwnedRef done = OwnedRef::steal(PyObject_CallMethod(atexit.get(), "register", "O", callback.get()));
    if (!done) return ovcore::binding::fetched_error();
    return callback.release();
  }));
  return {};
}

void track(LiveInstance& live) noexcept {
  std::lock_guard lock(list_mutex);
  live.previous = nullptr;
  live.next = first;
  if (first != nullptr) first->previous = &live;
  first = &live;
}

std::shared_ptr<ovcore::base::InstanceContext> untrack(LiveInstance& live) noexcept {
  std::lock_guard lock(list_mutex);
  if (live.context == nullptr) return nullptr;  // taken at exit, and unlinked then
  unlink(live);
  return std::move(live.context);
}

}  // namespace ovpi_sys
