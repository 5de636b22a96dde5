// The module's own entry points, run in this process: calls drain the
// deferred releases, the release of an Instance sets an in-flight exception
// aside before any Python code runs, and a native thread that logs while the
// interpreter finalizes is refused instead of hanging.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/binding/attach.hpp"
#include "ovcore/src/binding/ext/ovlog/log_settings_py.hpp"
#include "ovcore/src/utils/fatal.hpp"
#include "ovcore/src/utils/named_thread.hpp"
#include "tests/cpp_py/embedded_python.hpp"
#include "tests/support/instance_context_peer.hpp"

extern "C" PyObject* PyInit__sys();

namespace {

using ovcore::binding::OwnedRef;
using ovtest::eval;

OwnedRef module_function(const char* name) {
  static PyObject* module = PyInit__sys();  // kept for the process, as the module keeps itself
  EXPECT_NE(module, nullptr);
  return OwnedRef::steal(PyObject_GetAttrString(module, name));
}

// Drops `object` on a thread that is not attached, so its release is queued.
void drop_off_the_interpreter(OwnedRef object) {
  std::thread([object = std::move(object)]() mutable { object.reset(); }).join();
}

// A native type whose deallocation records whether an exception was set.
struct Witness {
  static inline bool freed = false;
  static inline bool saw_exception = false;
  static void dealloc(PyObject* self) {
    freed = true;
    saw_exception = PyErr_Occurred() != nullptr;
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
  }
  static OwnedRef make() {
    static PyType_Slot slots[] = {{Py_tp_dealloc, reinterpret_cast<void*>(&dealloc)}, {0, nullptr}};
    static PyType_Spec spec = {.name = "test.Witness",
                               .basicsize = sizeof(PyObject),
                               .itemsize = 0,
                               .flags = Py_TPFLAGS_DEFAULT,
                               .slots = slots};
    OwnedRef type = OwnedRef::steal(PyType_FromSpec(&spec));
    return OwnedRef::steal(PyObject_CallNoArgs(type.get()));
  }
};

TEST(ModuleCalls, EveryFunctionDrainsReleasesQueuedByOtherThreads) {
  const std::pair<const char*, const char*> calls[] = {
      {"factorial", "5"}, {"fibonacci", "5"}, {"_ov_create_instance", "info()"}};
  for (const auto& [name, argument] : calls) {
    OwnedRef function = module_function(name);
    OwnedRef argument_object = eval(argument);
    OwnedRef queued = eval("object()");
    const Py_ssize_t baseline = Py_REFCNT(queued.get());
    drop_off_the_interpreter(OwnedRef::new_ref(queued.get()));
    ASSERT_EQ(ovcore::binding::deferred_release_count(), 1U) << name;
    EXPECT_EQ(Py_REFCNT(queued.get()), baseline + 1);
    OwnedRef result = OwnedRef::steal(PyObject_CallOneArg(function.get(), argument_object.get()));
    ASSERT_TRUE(result) << name;
    EXPECT_EQ(ovcore::binding::deferred_release_count(), 0U) << name;
    EXPECT_EQ(Py_REFCNT(queued.get()), baseline) << name;
  }
  // With nothing queued a call takes the fast path, which must also leave the
  // count as it found it: a thread attached by hand has none, so what it drops
  // after the call is queued, not released on the spot.
  PyThreadState* state = PyEval_SaveThread();
  std::thread([] {
    const PyGILState_STATE gil = PyGILState_Ensure();
    EXPECT_TRUE(OwnedRef::steal(PyObject_CallOneArg(module_function("factorial").get(), eval("5").get())));
    PyGILState_Release(gil);
  }).join();
  PyEval_RestoreThread(state);
  EXPECT_NE(ovcore::binding::deferred_release_count(), 0U);
  ovcore::binding::drain_deferred_releases();
}

TEST(ModuleCalls, ReleasingAnInstanceSetsTheInFlightExceptionAsideBeforeDraining) {
  OwnedRef handle =
      OwnedRef::steal(PyObject_CallOneArg(module_function("_ov_create_instance").get(), eval("info()").get()));
  ASSERT_TRUE(handle);
  drop_off_the_interpreter(Witness::make());
  ASSERT_EQ(ovcore::binding::deferred_release_count(), 1U);
  PyErr_SetString(PyExc_ValueError, "in flight");
  handle.reset();  // the deallocation drains the queue, freeing the witness
  EXPECT_TRUE(Witness::freed);
  EXPECT_FALSE(Witness::saw_exception);
  ASSERT_TRUE(PyErr_ExceptionMatches(PyExc_ValueError));  // and the exception is back
  PyErr_Clear();
}

// Python threads call into the module (numeric calls, instances created and
// released) while named native threads log into a Python callback. Under the
// free-threaded interpreter with the GIL off, all of it runs at once.
TEST(ModuleCalls, NativeThreadsLogIntoPythonWhilePythonThreadsCallTheModule) {
  constexpr int kPythonThreads = 3;
  constexpr int kNativeThreads = 3;
  constexpr int kEach = 300;
  ovtest::bind("factorial", module_function("factorial").borrow());
  ovtest::bind("create", module_function("_ov_create_instance").borrow());
  ASSERT_TRUE(
      ovtest::run("import threading\n"
                  "failures = []\n"
                  "def churn(n):\n"
                  "    try:\n"
                  "        for _ in range(n):\n"
                  "            assert factorial(20) == 2432902008176640000\n"
                  "            handle = create(logged(Recorder()))\n"
                  "            del handle\n"
                  "    except BaseException as e:\n"
                  "        failures.append(e)\n"
                  "workers = [threading.Thread(target=churn, args=(" +
                  std::to_string(kEach) + ",)) for _ in range(" + std::to_string(kPythonThreads) +
                  ")]\n"
                  "native_sink = Recorder()\n"));
  OwnedRef settings = eval("settings(2, native_sink)");
  ovcore::base::api::InstanceCreateInfo info;
  info.enabled_extensions = {"__EXT_orvantis_logger"};
  info.ext.push_back(std::move(*ovcore::binding::ext::ovlog::extract_log_create_info(settings.borrow())));
  auto context = *ovcore::base::api::create_instance(std::move(info));
  ASSERT_TRUE(ovtest::run("for w in workers: w.start()"));

  PyThreadState* state = PyEval_SaveThread();
  std::vector<std::thread> natives;
  for (int t = 0; t < kNativeThreads; ++t) {
    natives.push_back(ovcore::utils::spawn_named_thread("native-" + std::to_string(t), [&context] {
      for (int i = 0; i < kEach; ++i) {
        ovtest::LogThrough::emit_log(*context, ovcore::ext::ovlog::LogLevelEXT::Warn, "from a native thread");
      }
    }));
  }
  for (auto& t : natives) t.join();
  PyEval_RestoreThread(state);

  ASSERT_TRUE(ovtest::run("for w in workers: w.join()\nassert not failures, failures"));
  ovcore::base::release(std::move(context));
  // The four Info messages of the report, every native message, and no more.
  EXPECT_EQ(PyLong_AsLong(eval("len(native_sink.records)").get()), 4 + kNativeThreads * kEach);
  EXPECT_EQ(PyLong_AsLong(eval("sum(r['thread_name'].startswith('native-') for r in native_sink.records"
                               " if r['thread_name'])")
                              .get()),
            kNativeThreads * kEach);
}

// The instance a native thread logs into while the interpreter finalizes.
std::shared_ptr<ovcore::base::InstanceContext> late_logger;

PyObject* log_from_a_native_thread(PyObject*, PyObject*) {
  const bool finalizing = Py_IsFinalizing();
  std::string outcome = "delivered";
  Py_BEGIN_ALLOW_THREADS std::thread([&outcome] {
    try {
      ovtest::LogThrough::emit_log(*late_logger, ovcore::ext::ovlog::LogLevelEXT::Error, "late");
    } catch (const ovcore::utils::FatalError& error) {
      outcome = error.message();
    }
  }).join();
  Py_END_ALLOW_THREADS std::fprintf(stderr, "finalizing=%d: %s\n", finalizing ? 1 : 0, outcome.c_str());
  Py_RETURN_NONE;
}

void finalize_while_a_native_thread_logs() {
  auto settings = eval("types.SimpleNamespace(level=0, callback=lambda record: None)");
  ovcore::base::api::InstanceCreateInfo info;
  info.enabled_extensions = {"__EXT_orvantis_logger"};
  info.ext.push_back(std::move(*ovcore::binding::ext::ovlog::extract_log_create_info(settings.borrow())));
  late_logger = *ovcore::base::api::create_instance(std::move(info));

  static PyMethodDef def = {"log_from_a_native_thread", &log_from_a_native_thread, METH_NOARGS, nullptr};
  PyObject* main_dict = PyModule_GetDict(PyImport_AddModule("__main__"));
  PyDict_SetItemString(main_dict, "log_from_a_native_thread", OwnedRef::steal(PyCFunction_New(&def, nullptr)).get());
  // Freed when the interpreter clears __main__, which it does while finalizing.
  OwnedRef done =
      OwnedRef::steal(PyRun_String("class Probe:\n"
                                   "    def __del__(self, log=log_from_a_native_thread):\n"
                                   "        log()\n"
                                   "probe = Probe()\n",
                                   Py_file_input, main_dict, main_dict));
  if (!done) std::_Exit(2);
  done.reset();
  Py_FinalizeEx();
  std::fflush(stderr);
  std::_Exit(0);  // the instance is deliberately left alone: no interpreter to release its callable
}

TEST(ModuleCallsDeathTest, ANativeThreadLoggingWhileTheInterpreterFinalizesIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(finalize_while_a_native_thread_logs(), testing::ExitedWithCode(0),
              "finalizing=1: cannot call into Python: the interpreter is finalizing");
}

}  // namespace
