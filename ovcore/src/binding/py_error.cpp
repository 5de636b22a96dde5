#include "ovcore/src/binding/py_error.hpp"

#include "ovcore/src/binding/panic.hpp"

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
  PyResult<OwnedRef> text = to_py_str_lenient(lazy.message);
  if (!text) return std::move(text.error()).into_object();
  OwnedRef exception = OwnedRef::steal(PyObject_CallOneArg(lazy.type, text->get()));
  if (!exception) exception = OwnedRef::steal(PyErr_GetRaisedException());
  return exception;
}

void PyError::raise() && {
  if (Lazy* lazy = std::get_if<Lazy>(&state_)) {
    PyResult<OwnedRef> text = to_py_str_lenient(lazy->message);
    if (!text) return std::move(text.error()).raise();
    PyErr_SetObject(lazy->type, text->get());
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
  return text ? lossy_text(*text) : "<exception str() failed>";
}

bool PyError::is_exactly(PyObject* type) const noexcept {
  if (const Lazy* lazy = std::get_if<Lazy>(&state_)) return lazy->type == type;
  return reinterpret_cast<PyObject*>(Py_TYPE(std::get<OwnedRef>(state_).get())) == type;
}

std::string PyError::debug_text() const {
  std::string out = type_qualname() + ": " + str().value_or("<exception str() failed>");
  const OwnedRef* object = std::get_if<OwnedRef>(&state_);
  if (object == nullptr) return out;
  OwnedRef traceback = OwnedRef::steal(PyException_GetTraceback(object->get()));
  if (!traceback) return out;
  // Best effort: the traceback module renders it; without it the text stays short.
  OwnedRef module = OwnedRef::steal(PyImport_ImportModule("traceback"));
  OwnedRef lines = module ? OwnedRef::steal(PyObject_CallMethod(module.get(), "format_tb", "O", traceback.get()))
                          : OwnedRef();
  OwnedRef joined = lines ? OwnedRef::steal(PyUnicode_Join(Py_GetConstantBorrowed(Py_CONSTANT_EMPTY_STR), lines.get()))
                          : OwnedRef();
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

PyResult<OwnedRef> to_py_str(std::string_view text) {
  OwnedRef s = OwnedRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (!s) return fetched_error();
  return s;
}

PyResult<OwnedRef> to_py_str_lenient(std::string_view text) {
  const auto size = static_cast<Py_ssize_t>(text.size());
  OwnedRef s = OwnedRef::steal(PyUnicode_DecodeUTF8(text.data(), size, "surrogatepass"));
  if (!s && PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) {
    PyErr_Clear();
    s = OwnedRef::steal(PyUnicode_DecodeUTF8(text.data(), size, "replace"));
  }
  if (!s) return fetched_error();
  return s;
}

std::optional<std::string> utf8_with_surrogates_of(BorrowedRef str) {
  OwnedRef bytes = OwnedRef::steal(PyUnicode_AsEncodedString(str.get(), "utf-8", "surrogatepass"));
  if (!bytes) {
    // LCOV_EXCL_START: only when the interpreter runs out of memory
    PyErr_Clear();
    return std::nullopt;
    // LCOV_EXCL_STOP
  }
  return std::string(PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
}

std::string lossy_text(std::string_view with_surrogates) {
  OwnedRef decoded = OwnedRef::steal(
      PyUnicode_DecodeUTF8(with_surrogates.data(), static_cast<Py_ssize_t>(with_surrogates.size()), "replace"));
  if (decoded) {
    if (auto text = utf8_of(decoded.borrow())) return std::move(*text);
  }
  // LCOV_EXCL_START: only when the interpreter runs out of memory
  PyErr_Clear();
  return "<exception str() failed>";
  // LCOV_EXCL_STOP
}

PyResult<std::string> utf8_of(BorrowedRef str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str.get(), &size);
  if (data == nullptr) return fetched_error();
  return std::string(data, static_cast<std::size_t>(size));
}

std::string type_qualname_of(BorrowedRef object) {
  OwnedRef name = OwnedRef::steal(PyType_GetQualName(Py_TYPE(object.get())));
  // A name with lone surrogates reads fine; it keeps them as str() texts do.
  if (name && PyUnicode_Check(name.get())) {
    if (auto utf8 = utf8_with_surrogates_of(name.borrow())) return std::move(*utf8);
  }
  // LCOV_EXCL_START: only when the interpreter runs out of memory
  PyErr_Clear();
  return std::string(kUnreadableTypeName);
  // LCOV_EXCL_STOP
}

}  // namespace ovcore::binding
