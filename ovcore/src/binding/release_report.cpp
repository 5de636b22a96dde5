#include "ovcore/src/binding/release_report.hpp"

#include <atomic>
#include <chrono>
#include <thread>

#include "ovcore/src/binding/py_ref.hpp"

namespace ovcore::binding {
namespace {

// Sequentially consistent: a reporting thread counts itself before it reads
// `exiting`, and the exit sets `exiting` before it reads the count, so
// either the thread sees the exit or the exit waits for the thread.
std::atomic<bool> exiting{false};
std::atomic<int> reporting{0};

const char* report_line(ReleaseTime time) noexcept {
  // Constant lines: the unraisable report formats them, and they hold no '%'.
  return time == ReleaseTime::kAtExit ? "Exception ignored while releasing an ovpi Instance at interpreter exit"
                                      : "Exception ignored while releasing an ovpi Instance";
}

}  // namespace

bool on_main_thread() noexcept {
  // The thread module's own record, asked in C: no bytecode runs, so no
  // signal's handler can cut in.
  OwnedRef module = OwnedRef::steal(PyImport_ImportModule("_thread"));
  OwnedRef ident =
      module ? OwnedRef::steal(PyObject_CallMethod(module.get(), "_get_main_thread_ident", nullptr)) : OwnedRef();
  unsigned long main = ident ? PyLong_AsUnsignedLong(ident.get()) : 0;
  if (PyErr_Occurred() != nullptr) {
    PyErr_Clear();  // LCOV_EXCL_LINE: an interpreter without the thread module's record
    return false;   // LCOV_EXCL_LINE
  }
  return main == PyThread_get_thread_ident();
}

void report_unraisable_release(ReleaseTime time, bool main_thread) noexcept {
  if (main_thread) {
    PyErr_FormatUnraisable(report_line(time));
    return;
  }
  reporting.fetch_add(1);
  if (exiting.load()) {
    PyErr_Clear();
  } else {
    PyErr_FormatUnraisable(report_line(time));
  }
  reporting.fetch_sub(1);
}

void stop_reports_from_other_threads() noexcept {
  exiting.store(true);
  // Each report under way needs the interpreter lock to finish.
  for (int waited = 0; reporting.load() > 0 && waited < 1000; ++waited) {
    PyThreadState* detached = PyEval_SaveThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    PyEval_RestoreThread(detached);
  }
}

}  // namespace ovcore::binding
