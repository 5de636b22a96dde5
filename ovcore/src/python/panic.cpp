#include "ovcore/src/python/panic.hpp"

#include <atomic>
#include <cstring>

namespace ovcore::python {
namespace {
std::atomic<PyObject*> panic_type{nullptr};
}  // namespace

PyObject* panic_exception_type() noexcept {
  if (PyObject* type = panic_type.load(std::memory_order_acquire)) return type;
  PyObject* created = PyErr_NewExceptionWithDoc(
      "ovpi.PanicException",
      "Raised when native code called from Python fails fatally.\n\n"
      "Like SystemExit it derives from BaseException, not Exception, so that it\n"
      "normally propagates all the way up the stack and ends the interpreter.",
      PyExc_BaseException, nullptr);
  if (created == nullptr) return nullptr;
  PyObject* expected = nullptr;
  if (!panic_type.compare_exchange_strong(expected, created, std::memory_order_acq_rel)) {
    Py_DECREF(created);  // another thread won; the kept one is theirs
    return expected;
  }
  return created;
}

void raise_panic(const char* message) noexcept {
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the creation failure is the current exception
  PyObject* text = PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace");
  if (text == nullptr) return;
  PyErr_SetObject(type, text);
  Py_DECREF(text);
}

}  // namespace ovcore::python
