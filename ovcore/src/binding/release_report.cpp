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

// A module the program has loaded, looked up in sys.modules without the
// import machinery, so no import hook of the program runs inside a release;
// empty when it is not loaded.
OwnedRef loaded_module(const char* name) noexcept {
  OwnedRef key = OwnedRef::steal(PyUnicode_FromString(name));
  return key ? OwnedRef::steal(PyImport_GetModule(key.get())) : OwnedRef();
}

// Does the interpreter wait for this thread before it finalizes, as it does
// for a threading.Thread that is not a daemon? Asked with the exception
// to report set aside. A thread that the threading module did not start
// counts as a daemon, as its own record of such a thread says.
bool waited_for() noexcept {
  PyObject* pending = PyErr_GetRaisedException();
  OwnedRef threading = loaded_module("threading");
  OwnedRef thread =
      threading ? OwnedRef::steal(PyObject_CallMethod(threading.get(), "current_thread", nullptr)) : OwnedRef();
  OwnedRef daemon = thread ? OwnedRef::steal(PyObject_GetAttrString(thread.get(), "daemon")) : OwnedRef();
  const int is_daemon = daemon ? PyObject_IsTrue(daemon.get()) : 1;
  if (PyErr_Occurred() != nullptr) PyErr_Clear();  // LCOV_EXCL_LINE: a thread record without its flag
  PyErr_SetRaisedException(pending);
  return is_daemon == 0;
}

}  // namespace

bool on_main_thread() noexcept {
  OwnedRef module = loaded_module("_thread");
  OwnedRef ident =
      module ? OwnedRef::steal(PyObject_CallMethod(module.get(), "_get_main_thread_ident", nullptr)) : OwnedRef();
  const unsigned long main = ident ? PyLong_AsUnsignedLong(ident.get()) : 0;
  if (PyErr_Occurred() != nullptr) PyErr_Clear();  // LCOV_EXCL_LINE: a thread module without its record
  return main == PyThread_get_thread_ident();
}

void report_unraisable_release(ReleaseTime time, bool main_thread) noexcept {
  if (main_thread) {
    PyErr_FormatUnraisable(report_line(time));
    return;
  }
  reporting.fetch_add(1);
  if (exiting.load() && !waited_for()) {
    PyErr_Clear();
  } else {
    PyErr_FormatUnraisable(report_line(time));
  }
  reporting.fetch_sub(1);
}

void stop_reports_from_other_threads() noexcept {
  exiting.store(true);
  // Each report under way needs the interpreter lock to finish; taking the
  // lock back may itself wait a switch interval, hence a deadline.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (reporting.load() > 0 && std::chrono::steady_clock::now() < deadline) {
    PyThreadState* detached = PyEval_SaveThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    PyEval_RestoreThread(detached);
  }
}

}  // namespace ovcore::binding
