#include "ovcore/src/binding/ext/ovlog/log_message_py.hpp"

// datetime.h defines a static API pointer this file does not use (it keeps
// its own, made once per process); with the debug interpreter's headers on
// -I rather than -isystem, that would be a warning.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-variable"
#include <datetime.h>
#pragma GCC diagnostic pop

#include <cstring>

#include "ovcore/src/binding/process_once.hpp"
#include "ovcore/src/utils/try.hpp"

namespace ovcore::binding::ext::ovlog {

using ovcore::ext::ovlog::LogMessageEXT;

namespace {

ProcessOnce<PyDateTime_CAPI*> datetime_api;

// The capsule's API lives as long as the process: the datetime module is
// never unloaded.
PyResult<PyDateTime_CAPI*> datetime_capi() {
  return datetime_api.get([]() -> PyResult<PyDateTime_CAPI*> {
    auto* api = static_cast<PyDateTime_CAPI*>(PyCapsule_Import(PyDateTime_CAPSULE_NAME, 0));
    if (api == nullptr) return fetched_error();
    return api;
  });
}

PyResult<OwnedRef> timepoint_into_pyobject(const utils::LocalDateTime& t) {
  PyDateTime_CAPI* api = OV_TRY(datetime_capi());
  const bool leap = t.nanosecond >= 1'000'000'000U;
  const std::uint32_t nanos = leap ? t.nanosecond - 1'000'000'000U : t.nanosecond;
  OwnedRef value = OwnedRef::steal(api->DateTime_FromDateAndTime(
      t.year, t.month, t.day, t.hour, t.minute, t.second, static_cast<int>(nanos / 1000), Py_None, api->DateTimeType));
  if (!value) return fetched_error();
  if (leap && PyErr_WarnEx(PyExc_UserWarning, "ignored leap-second, `datetime` does not support leap-seconds", 1) < 0) {
    return fetched_error();
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

}  // namespace

PyResult<OwnedRef> log_record_of(const LogMessageEXT& message) {
  // Fresh for every message, dict and keys alike: nothing of one record is
  // shared with the next. Sized for the seven keys up front where the
  // interpreter offers it, so it never grows while it is filled.
#if OVCORE_HAVE_PYDICT_NEWPRESIZED
  OwnedRef dict = OwnedRef::steal(_PyDict_NewPresized(7));
#else
  OwnedRef dict = OwnedRef::steal(PyDict_New());
#endif
  if (!dict) return fetched_error();
  if (!put(dict.borrow(), "level",
           OwnedRef::steal(PyLong_FromUnsignedLong(static_cast<std::uint32_t>(message.level))))) {
    return fetched_error();  // LCOV_EXCL_LINE: only when the interpreter runs out of memory
  }
  PyResult<OwnedRef> timepoint = timepoint_into_pyobject(message.timepoint);
  if (!timepoint) return std::unexpected(std::move(timepoint).error());
  const bool filled =
      put(dict.borrow(), "timepoint", std::move(*timepoint)) && put(dict.borrow(), "message", text(message.message)) &&
      put(dict.borrow(), "module", text(message.module)) && put(dict.borrow(), "file", optional_text(message.file)) &&
      put(dict.borrow(), "line",
          message.line ? OwnedRef::steal(PyLong_FromUnsignedLong(*message.line)) : OwnedRef::new_ref(Py_None)) &&
      put(dict.borrow(), "thread_name", optional_text(message.thread_name));
  if (!filled) return fetched_error();
  return dict;
}

PyResult<OwnedRef> log_message_into_pyobject(LogMessageEXT message) { return log_record_of(message); }

}  // namespace ovcore::binding::ext::ovlog
