#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/binding/attach.hpp"
#include "ovcore/src/binding/ext/ovlog/log_message_py.hpp"
#include "ovcore/src/binding/ext/ovlog/log_settings_py.hpp"
#include "ovcore/src/binding/interrupt.hpp"
#include "ovcore/src/utils/fatal.hpp"
#include "ovcore/src/utils/named_thread.hpp"
#include "tests/cpp_py/embedded_python.hpp"
#include "tests/support/instance_context_peer.hpp"

namespace {

using ovcore::ext::ovlog::LogLevelEXT;
using ovtest::eval;

ovcore::base::api::InstanceCreateInfo logger_info(ovcore::binding::BorrowedRef settings) {
  ovcore::base::api::InstanceCreateInfo info;
  info.application_info.application_name = "embedded";
  info.enabled_extensions = {"__EXT_orvantis_logger"};
  auto created = ovcore::binding::ext::ovlog::extract_log_create_info(settings);
  EXPECT_TRUE(created.has_value());
  info.ext.push_back(std::move(*created));
  return info;
}

// Runs `body` with the interpreter released by this thread, as a Python
// thread blocked in I/O would.
template <class Body>
void without_the_interpreter(Body body) {
  PyThreadState* state = PyEval_SaveThread();
  body();
  PyEval_RestoreThread(state);
}

TEST(PythonCallback, NativeThreadsLogWhileTheCallbackRunsUnderTheInterpreterLock) {
  auto sink = eval("[]");
  auto settings = eval("types.SimpleNamespace(level=2, callback=None)");
  auto append = ovcore::binding::OwnedRef::steal(PyObject_GetAttrString(sink.get(), "append"));
  PyObject_SetAttrString(settings.get(), "callback", append.get());
  auto context = *ovcore::base::api::create_instance(logger_info(settings.borrow()));
  ASSERT_EQ(PyList_Size(sink.get()), 4);

  constexpr int kThreads = 4;
  constexpr int kMessages = 500;
  without_the_interpreter([&] {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.push_back(ovcore::utils::spawn_named_thread("native-" + std::to_string(t), [&context] {
        for (int i = 0; i < kMessages; ++i)
          ovtest::LogThrough::emit_log(*context, LogLevelEXT::Warn, "from a native thread");
      }));
    }
    for (auto& t : threads) t.join();
  });
  ASSERT_EQ(PyList_Size(sink.get()), 4 + kThreads * kMessages);
  PyObject* last = PyList_GetItem(sink.get(), 4 + kThreads * kMessages - 1);
  PyObject* thread_name = PyDict_GetItemString(last, "thread_name");
  ASSERT_TRUE(thread_name != nullptr && PyUnicode_Check(thread_name));
  EXPECT_EQ(std::string(PyUnicode_AsUTF8(thread_name)).substr(0, 7), "native-");
  ovcore::base::release(std::move(context));
}

TEST(PythonCallback, ACallableReleasedOffTheInterpreterIsDeferredThenDrained) {
  auto callable = eval("lambda record: None");
  const Py_ssize_t baseline = Py_REFCNT(callable.get());
  auto settings = eval("types.SimpleNamespace(level=4, callback=None)");
  PyObject_SetAttrString(settings.get(), "callback", callable.get());
  auto context = *ovcore::base::api::create_instance(logger_info(settings.borrow()));
  PyObject_SetAttrString(settings.get(), "callback", Py_None);
  EXPECT_EQ(Py_REFCNT(callable.get()), baseline + 1);  // held by the logger

  // The last strong reference goes on a thread that is not attached: the
  // teardown runs there and the callable's release waits in the queue.
  without_the_interpreter([&] { std::thread([&context] { ovcore::base::release(std::move(context)); }).join(); });
  EXPECT_EQ(ovcore::binding::deferred_release_count(), 1U);
  EXPECT_EQ(Py_REFCNT(callable.get()), baseline + 1);
  ovcore::binding::drain_deferred_releases();
  EXPECT_EQ(ovcore::binding::deferred_release_count(), 0U);
  EXPECT_EQ(Py_REFCNT(callable.get()), baseline);
}

TEST(PythonCallback, AFailingCallableIsFatalAndLeavesNoErrorSet) {
  auto settings = eval("types.SimpleNamespace(level=0, callback=lambda r: 1 / 0)");
  try {
    (void)ovcore::base::api::create_instance(logger_info(settings.borrow()));
    FAIL() << "creation succeeded";
  } catch (const ovcore::utils::FatalError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("ZeroDivisionError: division by zero"), std::string::npos) << text;
    EXPECT_NE(text.find("Traceback"), std::string::npos) << text;
  }
  EXPECT_EQ(PyErr_Occurred(), nullptr);
}

// What a callback raises, and whether it crosses the core as the exception
// itself (an interrupt) or only as the text of a fatal error.
struct Raised {
  const char* exception;
  bool carried;
};

class PythonCallbackRaising : public testing::TestWithParam<Raised> {};

TEST_P(PythonCallbackRaising, CrossesTheCoreAsItselfOnlyWhenItIsAnInterrupt) {
  auto settings = eval("types.SimpleNamespace(level=0, callback=None)");
  auto callback = eval(std::string("lambda r: (_ for _ in ()).throw(") + GetParam().exception + ")");
  PyObject_SetAttrString(settings.get(), "callback", callback.get());
  try {
    (void)ovcore::base::api::create_instance(logger_info(settings.borrow()));
    FAIL() << "creation succeeded";
  } catch (const ovcore::binding::ProgramInterrupt& interrupt) {
    EXPECT_TRUE(GetParam().carried);
    auto text = ovcore::binding::OwnedRef::steal(PyObject_Repr(interrupt.exception().get()));
    EXPECT_STREQ(PyUnicode_AsUTF8(text.get()), GetParam().exception);
  } catch (const ovcore::utils::FatalError& e) {
    EXPECT_FALSE(GetParam().carried) << e.what();
  }
  EXPECT_EQ(PyErr_Occurred(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Exceptions, PythonCallbackRaising,
                         testing::Values(Raised{"KeyboardInterrupt('stop')", true}, Raised{"SystemExit(3)", true},
                                         Raised{"GeneratorExit()", false}, Raised{"ValueError('no')", false}),
                         [](const testing::TestParamInfo<Raised>& info) {
                           const std::string exception = info.param.exception;
                           return exception.substr(0, exception.find('('));
                         });

TEST(PythonCallback, MessagesBecomeDictsWithTheSevenKeys) {
  ovcore::ext::ovlog::LogMessageEXT message;
  message.level = LogLevelEXT::Warn;
  message.timepoint = {2016, 12, 31, 23, 59, 59, 1'250'000'000};
  message.message = "leap";
  message.module = "m";
  auto dict = ovcore::binding::ext::ovlog::log_message_into_pyobject(std::move(message));
  ASSERT_TRUE(dict.has_value());
  auto text = ovcore::binding::OwnedRef::steal(PyObject_Repr(dict->get()));
  EXPECT_STREQ(PyUnicode_AsUTF8(text.get()),
               "{'level': 3, 'timepoint': datetime.datetime(2016, 12, 31, 23, 59, 59, 250000), "
               "'message': 'leap', 'module': 'm', 'file': None, 'line': None, 'thread_name': None}");
}

}  // namespace
