#include "ovpi_sys/arguments.hpp"

#include <format>

#include "ovcore/src/binding/conversions.hpp"
#include "ovcore/src/binding/py_text.hpp"

namespace ovpi_sys {

PyResult<BorrowedRef> bind_one_argument_slow(std::string_view function, std::string_view parameter,
                                             PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  const Py_ssize_t positional = PyVectorcall_NARGS(nargsf);
  if (positional > 1) {
    return ovcore::binding::type_error(
        std::format("{}() takes 1 positional arguments but {} were given", function, positional));
  }
  PyObject* bound = positional == 1 ? args[0] : nullptr;
  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t i = 0; i < keywords; ++i) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, i);
    // Compared as UTF-8 bytes without encoding the key, which may hold lone
    // surrogates; the message keeps the key's characters as they are.
    if (PyUnicode_EqualToUTF8AndSize(key, parameter.data(), static_cast<Py_ssize_t>(parameter.size())) != 1) {
      OwnedRef text = OwnedRef::steal(PyUnicode_FromFormat("%.*s() got an unexpected keyword argument '%U'",
                                                           static_cast<int>(function.size()), function.data(), key));
      if (!text) return ovcore::binding::fetched_error();
      return std::unexpected(ovcore::binding::new_error(PyExc_TypeError, text.borrow()));
    }
    if (bound != nullptr) {
      return ovcore::binding::type_error(
          std::format("{}() got multiple values for argument '{}'", function, parameter));
    }
    bound = args[positional + i];
  }
  if (bound == nullptr) {
    return ovcore::binding::type_error(
        std::format("{}() missing 1 required positional argument: '{}'", function, parameter));
  }
  return BorrowedRef(bound);
}

namespace {

// The message is built as a Python string, so every character of the caught
// exception's str() survives, lone surrogates included.
PyError reword_type_error(PyError error, std::string_view parameter) {
  if (!error.is_exactly(PyExc_TypeError)) return error;
  OwnedRef caught = std::move(error).into_object();
  if (!caught) return PyError::fetch();
  OwnedRef caught_text = OwnedRef::steal(PyObject_Str(caught.get()));
  if (!caught_text) {
    PyErr_Clear();
    caught_text = OwnedRef::steal(PyUnicode_FromStringAndSize(
        ovcore::binding::kStrFailedText.data(), static_cast<Py_ssize_t>(ovcore::binding::kStrFailedText.size())));
    if (!caught_text) return PyError::fetch();
  }
  OwnedRef text = OwnedRef::steal(PyUnicode_FromFormat("argument '%.*s': %U", static_cast<int>(parameter.size()),
                                                       parameter.data(), caught_text.get()));
  if (!text) return PyError::fetch();
  return ovcore::binding::new_error(PyExc_TypeError, text.borrow(),
                                    OwnedRef::steal(PyException_GetCause(caught.get())));
}

}  // namespace

PyResult<std::uint64_t> argument_as_u64_slow(BorrowedRef argument, std::string_view parameter) {
  PyResult<std::uint64_t> value = ovcore::binding::extract_u64(argument);
  if (!value) return std::unexpected(reword_type_error(std::move(value).error(), parameter));
  return value;
}

}  // namespace ovpi_sys
