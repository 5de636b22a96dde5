#include "ovcore/src/binding/panic.hpp"

#include <string>

#include "ovcore/src/binding/process_once.hpp"
#include "ovcore/src/binding/py_text.hpp"
#include "ovcore/src/utils/fatal.hpp"

namespace ovcore::binding {
namespace {
ProcessOnce<PyObject*> panic_type;
}  // namespace

PyObject* panic_exception_type() noexcept {
  PyResult<PyObject*> type = panic_type.get([]() -> PyResult<PyObject*> {
    PyObject* created =
        PyErr_NewExceptionWithDoc("ovpi.PanicException",
                                  "Raised when native code called from Python fails fatally.\n\n"
                                  "Like SystemExit it derives from BaseException, not Exception, so that it\n"
                                  "normally propagates all the way up the stack and ends the interpreter.",
                                  PyExc_BaseException, nullptr);
    if (created == nullptr) return fetched_error();
    return created;
  });
  if (!type) {
    // LCOV_EXCL_START: only when the interpreter runs out of memory
    std::move(type.error()).raise();
    return nullptr;
    // LCOV_EXCL_STOP
  }
  return *type;
}

bool is_panic(BorrowedRef exception) noexcept {
  PyObject* type = panic_type.peek();
  return type != nullptr && PyObject_TypeCheck(exception.get(), reinterpret_cast<PyTypeObject*>(type));
}

// The traceback is displayed, not "printed" through the interpreter's
// top-level handling, which would end the process for a SystemExit subclass.
void resume_panic(OwnedRef exception) {
  std::string text = "a fatal error came back through Python code";
  if (OwnedRef s = OwnedRef::steal(PyObject_Str(exception.get()))) {
    if (auto utf8 = utf8_with_surrogates_of(s.borrow())) text = std::move(*utf8);
  }
  PyErr_Clear();
  PySys_WriteStderr("ovpi: resuming a fatal native error that came back from Python; its traceback:\n");
  PyErr_DisplayException(exception.get());
  PyErr_Clear();
  throw utils::FatalError(std::move(text));
}

void raise_panic(std::string_view message) noexcept {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the creation failure is the current exception
  OwnedRef text = to_py_str_lenient(message);
  if (!text) return;  // the decode's failure is the current exception
  PyErr_SetObject(type, text.get());
}

}  // namespace ovcore::binding
