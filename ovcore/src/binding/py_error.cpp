#include "ovcore/src/binding/py_error.hpp"

#include "ovcore/src/binding/panic.hpp"
#include "ovcore/src/binding/py_text.hpp"

namespace ovcore::binding {
PyError PyError::fetch() {
  OwnedRef exception = OwnedRef::steal(PyErr_GetRaisedException());
  if (!exception) return lazy(PyExc_SystemError, "attempted to fetch exception but none was set");
  if (is_panic(exception.borrow())) resume_panic(std::move(exception));
  return PyError(std::move(exception));
}

OwnedRef PyError::into_object() && {
  if (OwnedRef* object = std::get_if<OwnedRef>(&state_)) return std::move(*object);
  Lazy& lazy = std::get<Lazy>(state_);
  OwnedRef text = to_py_str_lenient(lazy.message);
  if (!text) return OwnedRef::steal(PyErr_GetRaisedException());
  OwnedRef exception = OwnedRef::steal(PyObject_CallOneArg(lazy.type, text.get()));
  if (!exception) exception = OwnedRef::steal(PyErr_GetRaisedException());
  return exception;
}

void PyError::raise() && {
  if (Lazy* lazy = std::get_if<Lazy>(&state_)) {
    OwnedRef text = to_py_str_lenient(lazy->message);
    if (!text) return;  // the decode's failure is the current exception
    PyErr_SetObject(lazy->type, text.get());
    return;
  }
  PyErr_SetRaisedException(std::get<OwnedRef>(state_).release());
}

std::string PyError::type_qualname() const {
  if (const Lazy* lazy = std::get_if<Lazy>(&state_)) {
    return reinterpret_cast<PyTypeObject*>(lazy->type)->tp_name;
  }
  return type_qualname_of(std::get<OwnedRef>(state_).borrow());
}

std::optional<std::string> PyError::str() const {
  if (const Lazy* lazy = std::get_if<Lazy>(&state_)) return lazy->message;
  OwnedRef s = OwnedRef::steal(PyObject_Str(std::get<OwnedRef>(state_).get()));
  if (!s) {
    PyErr_Clear();
    return std::nullopt;
  }
  return utf8_with_surrogates_of(s.borrow());
}

std::string PyError::lossy_str() const {
  if (const Lazy* lazy = std::get_if<Lazy>(&state_)) return lazy->message;
  std::optional<std::string> text = str();
  return text ? lossy_text(*text) : std::string(kStrFailedText);
}

bool PyError::is_exactly(PyObject* type) const noexcept {
  if (const Lazy* lazy = std::get_if<Lazy>(&state_)) return lazy->type == type;
  return reinterpret_cast<PyObject*>(Py_TYPE(std::get<OwnedRef>(state_).get())) == type;
}

std::string PyError::debug_text() const {
  std::string out = type_qualname() + ": " + str().value_or(std::string(kStrFailedText));
  const OwnedRef* object = std::get_if<OwnedRef>(&state_);
  if (object == nullptr) return out;
  OwnedRef traceback = OwnedRef::steal(PyException_GetTraceback(object->get()));
  if (!traceback) return out;
  // Best effort: the traceback module renders it; without it the text stays short.
  OwnedRef module = OwnedRef::steal(PyImport_ImportModule("traceback"));
  OwnedRef lines =
      module ? OwnedRef::steal(PyObject_CallMethod(module.get(), "format_tb", "O", traceback.get())) : OwnedRef();
  OwnedRef joined =
      lines ? OwnedRef::steal(PyUnicode_Join(Py_GetConstantBorrowed(Py_CONSTANT_EMPTY_STR), lines.get())) : OwnedRef();
  if (joined) {
    if (auto text = utf8_with_surrogates_of(joined.borrow())) {
      out += "\nTraceback (most recent call last):\n" + *text;
    }
  }
  PyErr_Clear();
  return out;
}

PyError new_error(PyObject* type, BorrowedRef text, OwnedRef cause) {
  OwnedRef exception = OwnedRef::steal(PyObject_CallOneArg(type, text.get()));
  if (!exception) return PyError::fetch();
  PyException_SetCause(exception.get(), cause.release());  // steals; NULL clears
  return PyError::from_object(std::move(exception));
}

}  // namespace ovcore::binding
