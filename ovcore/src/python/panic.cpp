#include "ovcore/src/python/panic.hpp"

#include "ovcore/src/python/process_once.hpp"

namespace ovcore::python {
namespace {
ProcessOnce<PyObject*> panic_type;
}  // namespace

PyObject* panic_exception_type() noexcept {
  PyResult<PyObject*> type = panic_type.get([]() -> PyResult<PyObject*> {
    PyObject* created = PyErr_NewExceptionWithDoc(
        "ovpi.PanicException",
        "Raised when native code called from Python fails fatally.\n\n"
        "Like SystemExit it derives from BaseException, not Exception, so that it\n"
        "normally propagates all the way up the stack and ends the interpreter.",
        PyExc_BaseException, nullptr);
    if (created == nullptr) return fetched_error();
    return created;
  });
  if (!type) {
    std::move(type.error()).raise();
    return nullptr;
  }
  return *type;
}

PyObject* panic_exception_type_if_made() noexcept { return panic_type.peek(); }

void raise_panic(std::string_view message) noexcept {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the creation failure is the current exception
  PyResult<OwnedRef> text = to_py_str_lenient(message);
  if (!text) return std::move(text.error()).raise();
  PyErr_SetObject(type, text->get());
}

}  // namespace ovcore::python
