#include "ovcore/src/binding/py_text.hpp"

namespace ovcore::binding {

OwnedRef to_py_str(std::string_view text) {
  return OwnedRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

OwnedRef to_py_str_lenient(std::string_view text) {
  const auto size = static_cast<Py_ssize_t>(text.size());
  OwnedRef s = OwnedRef::steal(PyUnicode_DecodeUTF8(text.data(), size, "surrogatepass"));
  if (!s && PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) {
    PyErr_Clear();
    s = OwnedRef::steal(PyUnicode_DecodeUTF8(text.data(), size, "replace"));
  }
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
  return std::string(kStrFailedText);
  // LCOV_EXCL_STOP
}

std::optional<std::string> utf8_of(BorrowedRef str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str.get(), &size);
  if (data == nullptr) return std::nullopt;
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
