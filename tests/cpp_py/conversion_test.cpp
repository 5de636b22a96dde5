#include <gtest/gtest.h>

#include "ovcore/src/binding/base/api_py.hpp"
#include "ovcore/src/binding/call_boundary.hpp"
#include "ovcore/src/binding/ext/ovlog/log_settings_py.hpp"
#include "ovcore/src/binding/opaque_loaders.hpp"
#include "ovcore/src/binding/panic.hpp"
#include "ovcore/src/binding/py_text.hpp"
#include "tests/cpp_py/embedded_python.hpp"

namespace {

using ovcore::binding::base::extract_instance_create_info;
using ovtest::chain;
using ovtest::eval;
using Chain = std::vector<std::string>;

// Bytes that are not UTF-8 at all (not a surrogate's encoding) are replaced.
TEST(Texts, InvalidUtf8BecomesReplacementCharacters) {
  auto text = ovcore::binding::to_py_str_lenient(
      "a\xff"
      "b");
  ASSERT_TRUE(text);
  auto utf8 = ovcore::binding::utf8_of(text.borrow());
  ASSERT_TRUE(utf8.has_value());
  EXPECT_EQ(*utf8,
            "a\xef\xbf\xbd"
            "b");
}

// An owned reference assigned over another releases the one it held.
TEST(References, AssigningOverAnOwnedReferenceReleasesTheOldOne) {
  using ovcore::binding::OwnedRef;
  OwnedRef held = eval("object()");
  const Py_ssize_t baseline = Py_REFCNT(held.get());
  OwnedRef extra = OwnedRef::new_ref(held.borrow());
  extra = eval("object()");
  EXPECT_EQ(Py_REFCNT(held.get()), baseline);
}

// A C++ exception of any type ends at the boundary as PanicException: with
// its what() when it has one, with the generic text when it has none.
TEST(CallBoundary, AnyCppExceptionBecomesAPanic) {
  using ovcore::binding::OwnedRef;
  using ovcore::binding::PyResult;
  const auto panic_text = [](auto thrown) {
    PyObject* result = ovcore::binding::call_function([&]() -> PyResult<OwnedRef> { throw thrown; });
    EXPECT_EQ(result, nullptr);
    return chain(ovcore::binding::PyError::from_object(OwnedRef::steal(PyErr_GetRaisedException())));
  };
  EXPECT_EQ(panic_text(std::runtime_error("out of order")), Chain{"PanicException: out of order"});
  EXPECT_EQ(panic_text(7), Chain{"PanicException: " + std::string(ovcore::binding::kGenericPanicText)});
}

Chain failure_chain(const std::string& expression) {
  auto object = eval(expression);
  auto result = extract_instance_create_info(object.borrow());
  if (result) {
    ADD_FAILURE() << "converted: " << expression;
    return {};
  }
  return chain(std::move(result.error()));
}

TEST(RecordRule, NestedFailuresAreWrappedOncePerLevel) {
  EXPECT_EQ(failure_chain("info(application_info=app(application_version=version(major='1')))"),
            (Chain{"TypeError: failed to extract field InstanceCreateInfo.application_info",
                   "TypeError: failed to extract field ApplicationInfo.application_version",
                   "TypeError: failed to extract field VersionInfo.major",
                   "TypeError: 'str' object cannot be interpreted as an integer"}));
  EXPECT_EQ(failure_chain("info(application_info=app(engine_version=version(patch=65536)))"),
            (Chain{"TypeError: failed to extract field InstanceCreateInfo.application_info",
                   "TypeError: failed to extract field ApplicationInfo.engine_version",
                   "TypeError: failed to extract field VersionInfo.patch",
                   "OverflowError: out of range integral type conversion attempted"}));
}

TEST(RecordRule, AMissingAttributeIsBareInItsOwnRecord) {
  EXPECT_EQ(failure_chain("info(application_info=types.SimpleNamespace(application_version=version(), "
                          "application_name='a', engine_version=version()))"),
            (Chain{"TypeError: failed to extract field InstanceCreateInfo.application_info",
                   "AttributeError: 'types.SimpleNamespace' object has no attribute 'engine_name'"}));
}

TEST(ListRule, StringsAndNonSequencesAreRefused) {
  EXPECT_EQ(failure_chain("info(enabled_extensions='ext')"),
            (Chain{"TypeError: failed to extract field InstanceCreateInfo.enabled_extensions",
                   "TypeError: a 'str' cannot be converted into a list; pass a sequence of items instead"}));
  EXPECT_EQ(failure_chain("info(enabled_extensions={'a': 1})"),
            (Chain{"TypeError: failed to extract field InstanceCreateInfo.enabled_extensions",
                   "TypeError: 'dict' object cannot be cast as 'Sequence'"}));
  EXPECT_EQ(failure_chain("info(enabled_extensions=['a', 3])"),
            (Chain{"TypeError: failed to extract field InstanceCreateInfo.enabled_extensions",
                   "TypeError: 'int' object cannot be cast as 'str'"}));
}

TEST(ListRule, AnExtElementWithoutALoaderIsWrappedTwice) {
  testing::internal::CaptureStdout();
  const Chain got = failure_chain("info(ext=[1])");
  const std::string printed = testing::internal::GetCapturedStdout();
  const std::string text =
      "No loader registered for type 'int'. Possible types are: [\"ovpi.api.ext.ovlog.LogCreateInfoEXT\"]";
  EXPECT_EQ(got, (Chain{"TypeError: failed to extract field InstanceCreateInfo.ext",
                        "TypeError: failed to extract field OpaqueList.0", "TypeError: " + text}));
  EXPECT_EQ(printed, text + "\n");
}

TEST(Records, AValidDescriptionConvertsInOrder) {
  auto object = eval("info(enabled=('a', 'b'), application_info=app(application_name='n\\u00e9'))");
  auto result = extract_instance_create_info(object.borrow());
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->application_info.application_name, "n\xc3\xa9");
  EXPECT_EQ(result->application_info.engine_version.minor, 3);
  EXPECT_EQ(result->enabled_extensions, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(result->ext.empty());
}

// Settings objects, and the chain of exceptions each is refused with: a bad
// value is wrapped with its field, a missing attribute is bare.
struct RefusedSettings {
  const char* settings;
  Chain chain;
};

TEST(LoggerSettings, LevelAndCallbackFailuresAreWrappedByField) {
  const RefusedSettings cases[] = {
      {"types.SimpleNamespace(level=7, callback=print)",
       {"TypeError: failed to extract field LogCreateInfoEXT.level", "ValueError: Invalid LogLevelEXT value: 7"}},
      {"types.SimpleNamespace(level=2**32, callback=print)",
       {"TypeError: failed to extract field LogCreateInfoEXT.level",
        "OverflowError: out of range integral type conversion attempted"}},
      {"types.SimpleNamespace(level=1, callback=None)",
       {"TypeError: failed to extract field LogCreateInfoEXT.callback",
        "TypeError: Expected a callable object for LogCallbackEXT"}},
      {"types.SimpleNamespace(level=1)",
       {"AttributeError: 'types.SimpleNamespace' object has no attribute 'callback'"}},
  };
  for (const RefusedSettings& refused : cases) {
    SCOPED_TRACE(refused.settings);
    auto result = ovcore::binding::ext::ovlog::extract_log_create_info(eval(refused.settings).borrow());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(chain(std::move(result.error())), refused.chain);
  }
}

// The cases the Python tests can see only from outside ("Invalid
// InstanceCreateInfo: ..."): here each shows the field it fails in and the
// type of the error underneath.
struct BadValue {
  const char* expression;
  const char* field;      // the innermost "failed to extract field ..." text
  const char* innermost;  // the start of the innermost "Type: text"
};

TEST(RecordRule, EachBadValueNamesItsFieldAndTheErrorBeneath) {
  const BadValue cases[] = {
      {"info(application_info=app(engine_version=version(patch=65536)))", "VersionInfo.patch",
       "OverflowError: out of range integral type conversion attempted"},
      {"info(application_info=app(engine_version=version(patch=-1)))", "VersionInfo.patch",
       "OverflowError: out of range integral type conversion attempted"},
      {"info(application_info=app(engine_version=version(patch=2**70)))", "VersionInfo.patch", "OverflowError: "},
      {"info(application_info=app(engine_version=version(patch=1.0)))", "VersionInfo.patch", "TypeError: "},
      {"info(application_info=app(engine_version=version(patch=None)))", "VersionInfo.patch", "TypeError: "},
      {"info(application_info=app(application_name=3))", "ApplicationInfo.application_name",
       "TypeError: 'int' object cannot be cast as 'str'"},
      {"info(application_info=app(application_name='x\\ud800'))", "ApplicationInfo.application_name",
       "UnicodeEncodeError: "},
      {"info(enabled=['a', 1])", "InstanceCreateInfo.enabled_extensions",
       "TypeError: 'int' object cannot be cast as 'str'"},
      {"logged(print, level=5)", "LogCreateInfoEXT.level", "ValueError: Invalid LogLevelEXT value: 5"},
      {"logged(print, level=2**32 - 1)", "LogCreateInfoEXT.level", "ValueError: Invalid LogLevelEXT value: 4294967295"},
      {"logged(print, level=2**32)", "LogCreateInfoEXT.level",
       "OverflowError: out of range integral type conversion attempted"},
      {"logged(print, level=2**64)", "LogCreateInfoEXT.level", "OverflowError: "},
      {"logged(print, level=-1)", "LogCreateInfoEXT.level", "OverflowError: "},
      {"logged(print, level=1.0)", "LogCreateInfoEXT.level", "TypeError: "},
      {"logged(print, level='Info')", "LogCreateInfoEXT.level", "TypeError: "},
      {"logged(print, level=None)", "LogCreateInfoEXT.level", "TypeError: "},
      {"logged(None)", "LogCreateInfoEXT.callback", "TypeError: Expected a callable object for LogCallbackEXT"},
      {"logged(5)", "LogCreateInfoEXT.callback", "TypeError: Expected a callable object for LogCallbackEXT"},
  };
  for (const BadValue& c : cases) {
    const Chain got = failure_chain(c.expression);
    ASSERT_GE(got.size(), 2U) << c.expression;
    EXPECT_EQ(got[got.size() - 2], std::string("TypeError: failed to extract field ") + c.field) << c.expression;
    EXPECT_TRUE(got.back().starts_with(c.innermost)) << c.expression << " -> " << got.back();
  }
}

}  // namespace
