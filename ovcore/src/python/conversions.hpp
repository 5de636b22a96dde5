#pragma once
// The building blocks every record conversion uses: attribute names interned
// once, the record rule's field reading and error wrapping, and the integer,
// text and list rules.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ovcore/src/python/py_error.hpp"

namespace ovcore::python {

// Attribute names read from description objects, interned once per process.
enum class Attr : std::uint8_t {
  major, minor, patch,
  application_version, application_name, engine_version, engine_name,
  application_info, enabled_extensions, ext,
  level, callback,
  count_,
};

// The interned name (made once per process, with all the others).
PyResult<BorrowedRef> attr_name(Attr attr);

// Reads `obj.<attr>`; its failure (typically AttributeError) is returned as is.
PyResult<OwnedRef> get_field(BorrowedRef obj, Attr attr);

// A new TypeError "failed to extract field {record}.{field}" caused by `inner`.
PyError wrap_field_error(PyError inner, std::string_view record, std::string_view field);

// The record rule for one field: read the attribute, convert it with
// `convert`, wrap a conversion failure (not a read failure) with the field.
template <class Convert>
auto extract_field(BorrowedRef obj, Attr attr, std::string_view record, std::string_view field,
                   Convert&& convert) -> decltype(convert(BorrowedRef{})) {
  PyResult<OwnedRef> value = get_field(obj, attr);
  if (!value) return std::unexpected(std::move(value.error()));
  auto converted = convert(value->borrow());
  if (!converted) return std::unexpected(wrap_field_error(std::move(converted.error()), record, field));
  return converted;
}

// Integer rule: any int or index-able object in 0..65535.
PyResult<std::uint16_t> extract_u16(BorrowedRef value);

// Unsigned 64-bit: an int (or subclass) directly, anything else through
// __index__. The interpreter's own errors pass through.
PyResult<std::uint64_t> extract_u64(BorrowedRef value);

// Text rule: a str (or subclass), copied as UTF-8.
PyResult<std::string> extract_text(BorrowedRef value);

// List rule, first steps: refuses a str and non-sequences; returns the
// iterator and a size hint.
struct SequenceIteration {
  OwnedRef iterator;
  // len() of the value, at most kMaxReserve: len() is only a claim (it may be
  // huge or lie), so memory grows with the items actually read.
  std::size_t size_hint = 0;
  static constexpr std::size_t kMaxReserve = 256;
};
PyResult<SequenceIteration> begin_sequence(BorrowedRef value);

// List rule: converts each item with `convert`, in iteration order.
template <class T, class Convert>
PyResult<std::vector<T>> extract_list(BorrowedRef value, Convert&& convert) {
  PyResult<SequenceIteration> iteration = begin_sequence(value);
  if (!iteration) return std::unexpected(std::move(iteration.error()));
  std::vector<T> out;
  out.reserve(iteration->size_hint);
  while (OwnedRef item = OwnedRef::steal(PyIter_Next(iteration->iterator.get()))) {
    auto converted = convert(item.borrow());
    if (!converted) return std::unexpected(std::move(converted.error()));
    out.push_back(std::move(*converted));
  }
  if (PyErr_Occurred()) return fetched_error();
  return out;
}

}  // namespace ovcore::python
