#pragma once
// The building blocks every record conversion uses: the record rule's
// field reading and error wrapping, and the integer, text and list rules.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ovcore/src/binding/interned_name.hpp"
#include "ovcore/src/binding/py_error.hpp"
#include "ovcore/src/utils/try.hpp"

namespace ovcore::binding {

// Reads `obj.<name>`; its failure (typically AttributeError) is returned as is.
PyResult<OwnedRef> get_field(BorrowedRef obj, InternedName& name);

// A new TypeError "failed to extract field {record}.{field}" caused by `inner`.
[[nodiscard]] PyError wrap_field_error(PyError inner, std::string_view record, std::string_view field);

// The record rule for one field: read the attribute `name`, convert it with
// `convert`, wrap a conversion failure (not a read failure) with the field,
// which has the attribute's name.
template <class Convert>
auto extract_field(BorrowedRef obj, InternedName& name, std::string_view record, Convert&& convert)
    -> decltype(convert(BorrowedRef{})) {
  OwnedRef value = OV_TRY(get_field(obj, name));
  auto converted = convert(value.borrow());
  if (!converted) return std::unexpected(wrap_field_error(std::move(converted).error(), record, name.text()));
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
  SequenceIteration iteration = OV_TRY(begin_sequence(value));
  std::vector<T> out;
  out.reserve(iteration.size_hint);
  while (OwnedRef item = OwnedRef::steal(PyIter_Next(iteration.iterator.get()))) {
    out.push_back(OV_TRY(convert(item.borrow())));
  }
  if (PyErr_Occurred()) return fetched_error();
  return out;
}

}  // namespace ovcore::binding
