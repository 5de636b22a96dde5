#include "ovcore/src/binding/conversions.hpp"

#include <algorithm>
#include <format>

#include "ovcore/src/binding/process_once.hpp"
#include "ovcore/src/binding/py_text.hpp"
#include "ovcore/src/utils/fatal.hpp"

namespace ovcore::binding {
namespace {

ProcessOnce<PyObject*> sequence_type;

// collections.abc.Sequence, fetched on first need; only its name is used.
PyObject* abc_sequence() {
  PyResult<PyObject*> type = sequence_type.get([]() -> PyResult<PyObject*> {
    OwnedRef module = OwnedRef::steal(PyImport_ImportModule("collections.abc"));
    OwnedRef type = module ? OwnedRef::steal(PyObject_GetAttrString(module.get(), "Sequence")) : OwnedRef();
    if (!type || !PyType_Check(type.get())) {
      // LCOV_EXCL_START: the standard library lacks collections.abc
      PyErr_Clear();
      throw utils::FatalError("could not import the type collections.abc.Sequence");
      // LCOV_EXCL_STOP
    }
    return type.release();
  });
  if (!type) throw utils::FatalError("collections.abc.Sequence was needed while it was being imported");
  return *type;
}

std::unexpected<PyError> out_of_range() {
  return std::unexpected(PyError::lazy(PyExc_OverflowError, "out of range integral type conversion attempted"));
}

}  // namespace

PyResult<OwnedRef> get_field(BorrowedRef obj, InternedName& name) {
  BorrowedRef interned = OV_TRY(name.get());
  OwnedRef value = OwnedRef::steal(PyObject_GetAttr(obj.get(), interned.get()));
  if (!value) return fetched_error();
  return value;
}

PyError wrap_field_error(PyError inner, std::string_view record, std::string_view field) {
  OwnedRef cause = std::move(inner).into_object();
  OwnedRef text = to_py_str(std::format("failed to extract field {}.{}", record, field));
  if (!text) return PyError::fetch();
  return new_error(PyExc_TypeError, text.borrow(), std::move(cause));
}

PyResult<std::uint16_t> extract_u16(BorrowedRef value) {
  const long number = PyLong_AsLong(value.get());
  if (number == -1 && PyErr_Occurred()) return fetched_error();
  if (number < 0 || number > 0xFFFF) return out_of_range();
  return static_cast<std::uint16_t>(number);
}

PyResult<std::uint64_t> extract_u64(BorrowedRef value) {
  unsigned long long number;
  if (PyLong_Check(value.get())) {
    number = PyLong_AsUnsignedLongLong(value.get());
  } else {
    OwnedRef index = OwnedRef::steal(PyNumber_Index(value.get()));
    if (!index) return fetched_error();
    number = PyLong_AsUnsignedLongLong(index.get());
  }
  if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return fetched_error();
  return static_cast<std::uint64_t>(number);
}

PyResult<std::string> extract_text(BorrowedRef value) {
  if (!PyUnicode_Check(value.get())) {
    return type_error(std::format("'{}' object cannot be cast as 'str'", type_qualname_of(value)));
  }
  std::optional<std::string> text = utf8_of(value);
  if (!text) return fetched_error();
  return std::move(*text);
}

PyResult<SequenceIteration> begin_sequence(BorrowedRef value) {
  if (PyUnicode_Check(value.get())) {
    return type_error("a 'str' cannot be converted into a list; pass a sequence of items instead");
  }
  if (!PySequence_Check(value.get())) {
    OwnedRef expected = OwnedRef::steal(PyType_GetQualName(reinterpret_cast<PyTypeObject*>(abc_sequence())));
    if (!expected) return fetched_error();
    const std::optional<std::string> expected_name = utf8_of(expected.borrow());
    if (!expected_name) return fetched_error();
    return type_error(std::format("'{}' object cannot be cast as '{}'", type_qualname_of(value), *expected_name));
  }
  SequenceIteration iteration;
  const Py_ssize_t size = PyObject_Size(value.get());
  if (size < 0) {
    PyErr_Clear();
  } else {
    iteration.size_hint = std::min(static_cast<std::size_t>(size), SequenceIteration::kMaxReserve);
  }
  iteration.iterator = OwnedRef::steal(PyObject_GetIter(value.get()));
  if (!iteration.iterator) return fetched_error();
  return iteration;
}

}  // namespace ovcore::binding
