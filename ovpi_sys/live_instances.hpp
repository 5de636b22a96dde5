#pragma once
// The instances whose handles are still alive, and their teardown when the
// interpreter exits.
//
// The Instance type takes no part in garbage collection, because the
// reference that closes a cycle (the log callback's) is held inside the
// core, in C++: a traverse slot could reach it only if the core knew about
// Python, which it must not (it builds and runs without it). So a handle
// caught in a cycle through its own instance (a log callback whose globals
// hold the handle) is never collected, and neither is anything the cycle
// reaches: a script's globals, with its open files. So at exit, before the
// interpreter finalizes its modules, every instance still alive is torn
// down through the same release path: its teardown message reaches its
// callback, the cycles break, and a handle freed later finds nothing to
// release.

#include <memory>

#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/binding/py_error.hpp"

namespace ovpi_sys {

// What a handle holds: its instance, and its place in the list of live ones.
// Only the functions below touch the links.
struct LiveInstance {
  std::shared_ptr<ovcore::base::InstanceContext> context;
  LiveInstance* previous = nullptr;
  LiveInstance* next = nullptr;
};

// Registers the exit teardown with the interpreter's atexit callbacks,
// once per process; the first creation of an instance does it, so that the
// teardown runs before the exit callbacks registered until then (logging's
// shutdown among them). Needs an attached thread.
ovcore::binding::PyResult<void> register_exit_teardown();

// Adds `live`, whose context is set, to the live instances.
void track(LiveInstance& live) noexcept;

// Removes `live` and hands over its context: null when the exit teardown has
// taken it already.
[[nodiscard]] std::shared_ptr<ovcore::base::InstanceContext> untrack(LiveInstance& live) noexcept;

}  // namespace ovpi_sys
