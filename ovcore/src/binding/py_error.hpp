#pragma once
// A Python-side failure carried as a value until it reaches the call
// boundary: either an exception type plus message not yet raised, or an
// exception object already made.

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "ovcore/src/binding/py_ref.hpp"
#include "ovcore/src/utils/result.hpp"

namespace ovcore::binding {

class PyError {
 public:
  // `type` is a built-in exception type (static, never released).
  static PyError lazy(PyObject* type, std::string message) { return PyError(Lazy{type, std::move(message)}); }
  // Takes the interpreter's current exception. With none set: SystemError
  // "attempted to fetch exception but none was set". A PanicException that
  // comes back from Python is not an ordinary error: it is resumed as a fatal
  // error (a notice and its traceback go to standard error) and this throws
  // utils::FatalError.
  static PyError fetch();
  static PyError from_object(OwnedRef exception) { return PyError(std::move(exception)); }

  PyError(PyError&&) noexcept = default;
  PyError& operator=(PyError&&) noexcept = default;

  // Makes it the interpreter's current exception.
  void raise() &&;
  // The exception object, made now when it was still lazy. On failure to make
  // it, the exception of that failure.
  OwnedRef into_object() &&;

  // The qualified name of its type, e.g. "AttributeError".
  std::string type_qualname() const;
  // str() of the exception, every character kept (lone surrogates in their
  // surrogatepass encoding, see `to_py_str_lenient`); nullopt when str()
  // itself fails.
  std::optional<std::string> str() const;
  // Exactly this type (not a subclass)?
  bool is_exactly(PyObject* type) const noexcept;
  // str() for messages: kStrFailedText when str() raises; lone
  // surrogates become U+FFFD (three per surrogate, as a lossy UTF-8 decode of
  // its surrogatepass encoding gives).
  std::string lossy_str() const;
  // Type name, message and, when there is one, the traceback.
  std::string debug_text() const;

 private:
  struct Lazy {
    PyObject* type;
    std::string message;
  };
  explicit PyError(Lazy lazy) : state_(std::move(lazy)) {}
  explicit PyError(OwnedRef object) : state_(std::move(object)) {}

  std::variant<Lazy, OwnedRef> state_;
};

// The result of a Python-side operation that can fail.
template <class T>
using PyResult = utils::Result<T, PyError>;

// A new exception of `type` with `text` as its one argument and `cause` (may
// be empty) as its __cause__; the failure to make it, if that fails.
PyError new_error(PyObject* type, BorrowedRef text, OwnedRef cause = {});

// Shorthands for the common failure values.
inline std::unexpected<PyError> type_error(std::string message) {
  return std::unexpected(PyError::lazy(PyExc_TypeError, std::move(message)));
}
inline std::unexpected<PyError> fetched_error() { return std::unexpected(PyError::fetch()); }

// `object`, or the interpreter's exception when it is empty: a C-API result
// (NULL with an exception set) as a result value.
inline PyResult<OwnedRef> or_fetched(OwnedRef object) {
  if (!object) return fetched_error();
  return object;
}

}  // namespace ovcore::binding
