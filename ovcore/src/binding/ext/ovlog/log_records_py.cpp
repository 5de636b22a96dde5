#include "ovcore/src/binding/ext/ovlog/log_records_py.hpp"

// datetime.h defines a static API pointer this file does not use (it keeps
// its own, made once per process); with the debug interpreter's headers on
// -I rather than -isystem, that would be a warning.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-variable"
#include <datetime.h>
#pragma GCC diagnostic pop

#include <array>
#include <cstring>
#include <format>
#include <memory>

#include "ovcore/src/binding/attach.hpp"
#include "ovcore/src/binding/conversions.hpp"
#include "ovcore/src/binding/interrupt.hpp"
#include "ovcore/src/binding/opaque_loaders.hpp"
#include "ovcore/src/binding/process_once.hpp"
#include "ovcore/src/utils/fatal.hpp"

namespace ovcore::ext::ovlog {

using binding::BorrowedRef;
using binding::OwnedRef;
using binding::PyError;
using binding::PyResult;

namespace {

binding::ProcessOnce<PyDateTime_CAPI*> datetime_api;

// The capsule's API lives as long as the process: the datetime module is
// never unloaded.
PyResult<PyDateTime_CAPI*> datetime_capi() {
  return datetime_api.get([]() -> PyResult<PyDateTime_CAPI*> {
    auto* api = static_cast<PyDateTime_CAPI*>(PyCapsule_Import(PyDateTime_CAPSULE_NAME, 0));
    if (api == nullptr) return binding::fetched_error();
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
  if (!value) return binding::fetched_error();
  if (leap && PyErr_WarnEx(PyExc_UserWarning, "ignored leap-second, `datetime` does not support leap-seconds", 1) < 0) {
    return binding::fetched_error();
  }
  return value;
}

// Stores `value` (a new reference, or empty with an exception set) under a
// key made fresh for this record. False with an exception set on failure.
// The keys are ASCII, so they are filled in directly, without a decode.
bool put(BorrowedRef dict, std::string_view key, OwnedRef value) noexcept {
  if (!value) return false;
  OwnedRef name = OwnedRef::steal(PyUnicode_New(static_cast<Py_ssize_t>(key.size()), 127));
  if (!name) return false;
  std::memcpy(PyUnicode_1BYTE_DATA(name.get()), key.data(), key.size());
  return PyDict_SetItem(dict.get(), name.get(), value.get()) == 0;
}

OwnedRef text(std::string_view value) noexcept {
  return OwnedRef::steal(PyUnicode_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size())));
}

OwnedRef optional_text(const std::optional<std::string>& value) noexcept {
  return value ? text(*value) : OwnedRef::new_ref(Py_None);
}

// The dict of log_message_into_pyobject, read from a message the caller
// keeps: the adapter below owns its message already, so it need not move it
// once more.
PyResult<OwnedRef> record_of(const LogMessageEXT& message) {
  // Fresh for every message, dict and keys alike: nothing of one record is
  // shared with the next. Sized for the seven keys up front where the
  // interpreter offers it, so it never grows while it is filled.
#if OVCORE_HAVE_PYDICT_NEWPRESIZED
  OwnedRef dict = OwnedRef::steal(_PyDict_NewPresized(7));
#else
  OwnedRef dict = OwnedRef::steal(PyDict_New());
#endif
  if (!dict) return binding::fetched_error();
  if (!put(dict.borrow(), "level", OwnedRef::steal(PyLong_FromUnsignedLong(static_cast<std::uint32_t>(message.level))))) {
    return binding::fetched_error();  // LCOV_EXCL_LINE: only when the interpreter runs out of memory
  }
  PyResult<OwnedRef> timepoint = timepoint_into_pyobject(message.timepoint);
  if (!timepoint) return std::unexpected(std::move(timepoint).error());
  const bool filled =
      put(dict.borrow(), "timepoint", std::move(*timepoint)) && put(dict.borrow(), "message", text(message.message)) &&
      put(dict.borrow(), "module", text(message.module)) && put(dict.borrow(), "file", optional_text(message.file)) &&
      put(dict.borrow(), "line",
          message.line ? OwnedRef::steal(PyLong_FromUnsignedLong(*message.line)) : OwnedRef::new_ref(Py_None)) &&
      put(dict.borrow(), "thread_name", optional_text(message.thread_name));
  if (!filled) return binding::fetched_error();
  return dict;
}

// Calls a Python callable with each message as a dict, from whatever thread
// logs. A failure of the conversion or of the call is fatal, but for an
// interrupt (KeyboardInterrupt, SystemExit), which is thrown as a
// ProgramInterrupt to reach the program as itself.
class PyLogCallback {
 public:
  explicit PyLogCallback(OwnedRef callable) : callable_(std::move(callable)) {}
  PyLogCallback(PyLogCallback&&) noexcept = default;
  // The callable is released through OwnedRef: at once when this thread is
  // attached through the module, otherwise at the next entry.
  ~PyLogCallback() = default;

  void operator()(LogMessageEXT&& message) const {
    binding::AttachGuard attached;
    std::optional<PyError> failure;
    PyResult<OwnedRef> record = record_of(message);
    if (record) {
      PyObject* args[] = {nullptr, record->get()};
      OwnedRef result = OwnedRef::steal(
          PyObject_Vectorcall(callable_.get(), args + 1, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
      if (!result) failure.emplace(PyError::fetch());
    } else {
      failure.emplace(std::move(record.error()));
    }
    if (!failure) return;
    // Detached before anything is thrown, so what is thrown holds only
    // references that may be released from anywhere.
    record = OwnedRef();
    OwnedRef exception = std::move(*failure).into_object();
    failure.reset();
    if (binding::is_interrupt(exception.borrow())) {
      binding::ProgramInterrupt interrupt(std::move(exception));
      attached.detach();
      throw interrupt;
    }
    std::string text = "unexpected error from the Python log callback: " +
                       PyError::from_object(std::move(exception)).debug_text();
    attached.detach();
    throw utils::FatalError(std::move(text));
  }

 private:
  OwnedRef callable_;
};

PyResult<std::unique_ptr<utils::opaque::OpaqueObject>> load_settings(BorrowedRef obj) {
  return std::unique_ptr<utils::opaque::OpaqueObject>(OV_TRY(extract_log_create_info(obj)));
}

constinit binding::InternedName kLevel{"level"};
constinit binding::InternedName kCallback{"callback"};

constexpr binding::PyOpaqueObjectLoadersRegistry kLoaderEntry{"ovpi.api.ext.ovlog.LogCreateInfoEXT",
                                                                     &load_settings};
binding::LoaderList::Node loader_node{&kLoaderEntry};

[[gnu::constructor(OVCORE_LOADER_REGISTRATION_PRIORITY)]] void register_logger_loader() {
  binding::loader_registry().push_front(loader_node);
}

}  // namespace

PyResult<LogLevelEXT> extract_log_level(BorrowedRef obj) {
  const std::uint64_t value = OV_TRY(binding::extract_u64(obj));
  if (value > 0xFFFF'FFFFULL) {
    return std::unexpected(PyError::lazy(PyExc_OverflowError, "out of range integral type conversion attempted"));
  }
  if (value >= kLogLevelCount) {
    return std::unexpected(PyError::lazy(PyExc_ValueError, std::format("Invalid LogLevelEXT value: {}", value)));
  }
  return static_cast<LogLevelEXT>(value);
}

PyResult<LogCallbackEXT> extract_log_callback(BorrowedRef obj) {
  if (!PyCallable_Check(obj.get())) return binding::type_error("Expected a callable object for LogCallbackEXT");
  return LogCallbackEXT(PyLogCallback(OwnedRef::new_ref(obj)));
}

PyResult<std::unique_ptr<LogCreateInfoEXT>> extract_log_create_info(BorrowedRef obj) {
  constexpr const char* kRecord = "LogCreateInfoEXT";
  const LogLevelEXT level = OV_TRY(binding::extract_field(obj, kLevel, kRecord, extract_log_level));
  LogCallbackEXT callback = OV_TRY(binding::extract_field(obj, kCallback, kRecord, extract_log_callback));
  return LogCreateInfoEXT::create(level, std::move(callback));
}

PyResult<OwnedRef> log_message_into_pyobject(LogMessageEXT message) { return record_of(message); }

}  // namespace ovcore::ext::ovlog
