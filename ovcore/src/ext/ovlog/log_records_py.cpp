#include "ovcore/src/ext/ovlog/log_records_py.hpp"

// datetime.h defines a static API pointer this file does not use (it keeps
// its own, made once per process); with the debug interpreter's headers on
// -I rather than -isystem, that would be a warning.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-variable"
#include <datetime.h>
#pragma GCC diagnostic pop

#include <array>
#include <format>
#include <memory>

#include "ovcore/src/python/attach.hpp"
#include "ovcore/src/python/conversions.hpp"
#include "ovcore/src/python/process_once.hpp"
#include "ovcore/src/utils/fatal.hpp"
#include "ovcore/src/python/opaque_loaders.hpp"

namespace ovcore::ext::ovlog {

using python::BorrowedRef;
using python::OwnedRef;
using python::PyError;
using python::PyResult;

namespace {

// Calls a Python callable with each message as a dict, from whatever thread
// logs. A failure of the conversion or of the call is fatal.
class PyLogCallback {
 public:
  explicit PyLogCallback(OwnedRef callable) : callable_(std::move(callable)) {}
  PyLogCallback(PyLogCallback&&) noexcept = default;
  // The callable is released through OwnedRef: at once when this thread is
  // attached through the module, otherwise at the next entry.
  ~PyLogCallback() = default;

  void operator()(LogMessageEXT message) const {
    python::AttachGuard attached;
    std::optional<PyError> failure;
    PyResult<OwnedRef> record = log_message_into_pyobject(std::move(message));
    if (record) {
      PyObject* args[] = {nullptr, record->get()};
      OwnedRef result = OwnedRef::steal(
          PyObject_Vectorcall(callable_.get(), args + 1, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
      if (!result) failure.emplace(PyError::fetch());
    } else {
      failure.emplace(std::move(record.error()));
    }
    if (!failure) return;
    std::string text = "unexpected error from the Python log callback: " + failure->debug_text();
    failure.reset();
    record = OwnedRef();
    attached.detach();
    throw utils::FatalError(std::move(text));
  }

 private:
  OwnedRef callable_;
};

python::ProcessOnce<PyDateTime_CAPI*> datetime_api;

// The capsule's API lives as long as the process: the datetime module is
// never unloaded.
PyResult<PyDateTime_CAPI*> datetime_capi() {
  return datetime_api.get([]() -> PyResult<PyDateTime_CAPI*> {
    auto* api = static_cast<PyDateTime_CAPI*>(PyCapsule_Import(PyDateTime_CAPSULE_NAME, 0));
    if (api == nullptr) return python::fetched_error();
    return api;
  });
}

PyResult<OwnedRef> timepoint_into_pyobject(const utils::LocalDateTime& t) {
  PyDateTime_CAPI* api = OV_TRY(datetime_capi());
  const bool leap = t.nanosecond >= 1'000'000'000U;
  const std::uint32_t nanos = leap ? t.nanosecond - 1'000'000'000U : t.nanosecond;
  OwnedRef value = OwnedRef::steal(api->DateTime_FromDateAndTime(t.year, t.month, t.day, t.hour, t.minute, t.second,
                                                                 static_cast<int>(nanos / 1000), Py_None,
                                                                 api->DateTimeType));
  if (!value) return python::fetched_error();
  if (leap && PyErr_WarnEx(PyExc_UserWarning, "ignored leap-second, `datetime` does not support leap-seconds", 1) < 0) {
    return python::fetched_error();
  }
  return value;
}

// The keys of the record dict, in order.
constexpr std::array<const char*, 7> kRecordKeys{"level", "timepoint", "message", "module",
                                                 "file", "line", "thread_name"};

// Interned keys and a template dict holding them, made once per process.
struct RecordShape {
  std::array<PyObject*, kRecordKeys.size()> keys{};
  PyObject* template_dict = nullptr;
};
python::ProcessOnce<RecordShape*> record_shape;

PyResult<RecordShape*> make_record_shape() {
  auto fresh = std::make_unique<RecordShape>();
  OwnedRef dict = OwnedRef::steal(PyDict_New());
  if (!dict) return python::fetched_error();
  for (std::size_t i = 0; i < kRecordKeys.size(); ++i) {
    OwnedRef key = OwnedRef::steal(PyUnicode_InternFromString(kRecordKeys[i]));
    if (!key || PyDict_SetItem(dict.get(), key.get(), Py_None) < 0) return python::fetched_error();
    fresh->keys[i] = key.get();  // the template dict keeps it alive
  }
  fresh->template_dict = dict.release();
  return fresh.release();  // kept for the process
}

PyResult<OwnedRef> optional_text(const std::optional<std::string>& text) {
  if (!text) return OwnedRef::new_ref(Py_None);
  return python::to_py_str(*text);
}

PyResult<std::unique_ptr<utils::opaque::OpaqueObject>> load_settings(BorrowedRef obj) {
  return std::unique_ptr<utils::opaque::OpaqueObject>(OV_TRY(extract_log_create_info(obj)));
}

constinit python::InternedName kLevel{"level"};
constinit python::InternedName kCallback{"callback"};

constexpr python::PyOpaqueObjectLoadersRegistry kLoaderEntry{"ovpi.api.ext.ovlog.LogCreateInfoEXT",
                                                                     &load_settings};
python::LoaderList::Node loader_node{&kLoaderEntry};

[[gnu::constructor(OVCORE_LOADER_REGISTRATION_PRIORITY)]] void register_logger_loader() {
  python::loader_registry().push_front(loader_node);
}

}  // namespace

PyResult<LogLevelEXT> extract_log_level(BorrowedRef obj) {
  const std::uint64_t value = OV_TRY(python::extract_u64(obj));
  if (value > 0xFFFF'FFFFULL) {
    return std::unexpected(PyError::lazy(PyExc_OverflowError, "out of range integral type conversion attempted"));
  }
  if (value >= kLogLevelCount) {
    return std::unexpected(PyError::lazy(PyExc_ValueError, std::format("Invalid LogLevelEXT value: {}", value)));
  }
  return static_cast<LogLevelEXT>(value);
}

PyResult<LogCallbackEXT> extract_log_callback(BorrowedRef obj) {
  if (!PyCallable_Check(obj.get())) return python::type_error("Expected a callable object for LogCallbackEXT");
  return LogCallbackEXT(PyLogCallback(OwnedRef::new_ref(obj)));
}

PyResult<std::unique_ptr<LogCreateInfoEXT>> extract_log_create_info(BorrowedRef obj) {
  constexpr const char* kRecord = "LogCreateInfoEXT";
  const LogLevelEXT level = OV_TRY(python::extract_field(obj, kLevel, kRecord, extract_log_level));
  LogCallbackEXT callback = OV_TRY(python::extract_field(obj, kCallback, kRecord, extract_log_callback));
  return LogCreateInfoEXT::create(level, std::move(callback));
}

PyResult<OwnedRef> log_message_into_pyobject(LogMessageEXT message) {
  const RecordShape* shape = OV_TRY(record_shape.get(make_record_shape));
  // A copy of the template has every key in place, in order, at its final
  // size: filling it in replaces values and never resizes.
  OwnedRef dict = OwnedRef::steal(PyDict_Copy(shape->template_dict));
  if (!dict) return python::fetched_error();
  auto steal_or_fetch = [](PyObject* object) -> PyResult<OwnedRef> {
    if (object == nullptr) return python::fetched_error();
    return OwnedRef::steal(object);
  };
  auto line = [&]() -> PyResult<OwnedRef> {
    if (!message.line) return OwnedRef::new_ref(Py_None);
    return steal_or_fetch(PyLong_FromUnsignedLong(*message.line));
  };
  // In key order; the first failure stops the rest.
  std::optional<PyError> failure;
  std::size_t index = 0;
  auto put = [&](auto make) {
    if (failure) return;
    PyResult<OwnedRef> value = make();
    if (!value) {
      failure.emplace(std::move(value.error()));
    } else if (PyDict_SetItem(dict.get(), shape->keys[index++], value->get()) < 0) {
      failure.emplace(PyError::fetch());
    }
  };
  put([&] { return steal_or_fetch(PyLong_FromUnsignedLong(static_cast<std::uint32_t>(message.level))); });
  put([&] { return timepoint_into_pyobject(message.timepoint); });
  put([&] { return python::to_py_str(message.message); });
  put([&] { return python::to_py_str(message.module); });
  put([&] { return optional_text(message.file); });
  put(line);
  put([&] { return optional_text(message.thread_name); });
  if (failure) return std::unexpected(std::move(*failure));
  return dict;
}

}  // namespace ovcore::ext::ovlog
