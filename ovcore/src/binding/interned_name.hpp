#pragma once
// An attribute name read from description objects: a Python string interned
// once per process, on first use, and kept for the process. Each record's
// converter declares the names it reads, at namespace scope:
//
//   constinit binding::InternedName kMajor{"major"};

#include "ovcore/src/binding/process_once.hpp"

namespace ovcore::binding {

class InternedName {
 public:
  explicit constexpr InternedName(const char* text) noexcept : text_(text) {}
  InternedName(const InternedName&) = delete;
  InternedName& operator=(const InternedName&) = delete;

  // The name as written, which is also the field's name in error texts.
  const char* text() const noexcept { return text_; }

  // The interned string. One acquire load once it exists.
  PyResult<BorrowedRef> get() {
    PyResult<PyObject*> made = object_.get([this]() -> PyResult<PyObject*> {
      PyObject* name = PyUnicode_InternFromString(text_);
      if (name == nullptr) return fetched_error();
      return name;
    });
    if (!made) return std::unexpected(std::move(made).error());
    return BorrowedRef(*made);
  }

 private:
  const char* text_;
  ProcessOnce<PyObject*> object_;
};

}  // namespace ovcore::binding
