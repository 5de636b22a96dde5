#pragma once
// The report of a release that failed. A release runs in a deallocation,
// where nobody can receive an exception, so its failure goes where a
// finalizer's (`__del__`) would: to sys.unraisablehook, with a line that
// says what was being done.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace ovcore::binding {

// When a release runs, which decides where an interrupt raised in it goes.
enum class ReleaseTime {
  kDuringProgram,  // the program let go of a handle: the main thread's interrupt is the program's
  kAtExit,         // the teardown at exit: no program is left to receive anything
};

// Is this the thread whose pending calls the interpreter runs (the main
// thread; after a fork, the forking one)? Asked without importing anything
// and without running bytecode, so neither an import hook nor a signal's
// handler runs inside a release. Attached, with no exception set.
bool on_main_thread() noexcept;

// Passes the current exception to sys.unraisablehook with the line for a
// release at `time` ("Exception ignored while releasing an ovpi Instance",
// and "... at interpreter exit"), clearing it. Once the exit has begun, a
// report from a thread that the interpreter does not wait for (a daemon
// thread) is dropped instead (see stop_reports_from_other_threads).
void report_unraisable_release(ReleaseTime time, bool main_thread) noexcept;

// Called on the main thread as the interpreter exits, before it finalizes:
// from now on, releases on threads that it does not wait for (daemon
// threads, which go on running) report nothing, since a report still being
// written to standard error when the interpreter flushes it at the end stops
// the process with a fatal error. Waits, detached, about a second at most,
// for the reports under way.
void stop_reports_from_other_threads() noexcept;

}  // namespace ovcore::binding
