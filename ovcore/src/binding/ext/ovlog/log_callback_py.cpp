#include "ovcore/src/binding/ext/ovlog/log_callback_py.hpp"

#include <optional>
#include <string>

#include "ovcore/src/binding/attach.hpp"
#include "ovcore/src/binding/ext/ovlog/log_message_py.hpp"
#include "ovcore/src/binding/interrupt.hpp"
#include "ovcore/src/utils/fatal.hpp"

namespace ovcore::binding::ext::ovlog {

using ovcore::ext::ovlog::LogCallbackEXT;
using ovcore::ext::ovlog::LogMessageEXT;

namespace {

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
    AttachGuard attached;
    std::optional<PyError> failure;
    PyResult<OwnedRef> record = log_record_of(message);
    if (record) {
      PyObject* args[] = {nullptr, record->get()};
      OwnedRef result =
          OwnedRef::steal(PyObject_Vectorcall(callable_.get(), args + 1, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
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
    if (is_interrupt(exception.borrow())) {
      ProgramInterrupt interrupt(std::move(exception));
      attached.detach();
      throw interrupt;
    }
    std::string text =
        "unexpected error from the Python log callback: " + PyError::from_object(std::move(exception)).debug_text();
    attached.detach();
    throw utils::FatalError(std::move(text));
  }

 private:
  OwnedRef callable_;
};

}  // namespace

PyResult<LogCallbackEXT> extract_log_callback(BorrowedRef obj) {
  if (!PyCallable_Check(obj.get())) return type_error("Expected a callable object for LogCallbackEXT");
  return LogCallbackEXT(PyLogCallback(OwnedRef::new_ref(obj)));
}

}  // namespace ovcore::binding::ext::ovlog
