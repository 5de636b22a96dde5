#include "ovpi_sys/binding.hpp"

#include <format>

#include "ovcore/src/python/conversions.hpp"

namespace ovpi_sys {

PyResult<BorrowedRef> bind_one_argument_slow(std::string_view function, std::string_view parameter,
                                             PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  const Py_ssize_t positional = PyVectorcall_NARGS(nargsf);
  if (positional > 1) {
    return ovcore::python::type_error(
        std::format("{}() takes 1 positional arguments but {} were given", function, positional));
  }
  PyObject* bound = positional == 1 ? args[0] : nullptr;
  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t i = 0; i < keywords; ++i) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, i);
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(key, &size);
    if (utf8 == nullptr) return ovcore::python::fetched_error();
    const std::string_view name(utf8, static_cast<std::size_t>(size));
    if (name != parameter) {
      return ovcore::python::type_error(std::format("{}() got an unexpected keyword argument '{}'", function, name));
    }
    if (bound != nullptr) {
      return ovcore::python::type_error(std::format("{}() got multiple values for argument '{}'", function, parameter));
    }
    bound = args[positional + i];
  }
  if (bound == nullptr) {
    return ovcore::python::type_error(
        std::format("{}() missing 1 required positional argument: '{}'", function, parameter));
  }
  return BorrowedRef(bound);
}

namespace {

PyError reword_type_error(PyError error, std::string_view parameter) {
  if (!error.is_exactly(PyExc_TypeError)) return error;
  const std::string text = std::format("argument '{}': {}", parameter, error.str().value_or(""));
  OwnedRef caught = std::move(error).into_object();
  PyResult<OwnedRef> message = ovcore::python::to_py_str(text);
  if (!message) return std::move(message.error());
  OwnedRef reworded = OwnedRef::steal(PyObject_CallOneArg(PyExc_TypeError, message->get()));
  if (!reworded) return PyError::fetch();
  PyException_SetCause(reworded.get(), PyException_GetCause(caught.get()));  // steals the new reference
  return PyError::from_object(std::move(reworded));
}

}  // namespace

PyResult<std::uint64_t> argument_as_u64_slow(BorrowedRef argument, std::string_view parameter) {
  PyResult<std::uint64_t> value = ovcore::python::extract_u64(argument);
  if (!value) return std::unexpected(reword_type_error(std::move(value.error()), parameter));
  return value;
}

}  // namespace ovpi_sys
