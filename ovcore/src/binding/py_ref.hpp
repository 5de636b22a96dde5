#pragma once
// Two reference types make ownership visible. `BorrowedRef` is a view that
// never releases; `OwnedRef` holds one strong reference and releases it on
// destruction (directly when the thread is attached through the module,
// otherwise through the deferred-release list, see attach.hpp).

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace ovcore::binding {

namespace detail {
// This thread's nesting count of entries through the module (see attach.hpp).
// Static TLS: read without a lookup call on every reference drop.
extern constinit thread_local int nesting __attribute__((tls_model("initial-exec")));
// Queues `object` for release at the next entry through the call boundary.
void defer_release(PyObject* object) noexcept;
}  // namespace detail

// Drops one strong reference: at once when this thread is attached through the
// module, otherwise queued for the next entry through the call boundary.
inline void release_reference(PyObject* object) noexcept {
  if (detail::nesting > 0) {
    Py_DECREF(object);
  } else {
    detail::defer_release(object);
  }
}

class BorrowedRef {
 public:
  BorrowedRef() = default;
  explicit BorrowedRef(PyObject* object) noexcept : object_(object) {}
  PyObject* get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  PyObject* object_ = nullptr;
};

class OwnedRef {
 public:
  OwnedRef() = default;
  // Takes over a new reference (for example a C-API result); nullptr stays empty.
  static OwnedRef steal(PyObject* object) noexcept { return OwnedRef(object); }
  // Adds a reference to a borrowed object.
  static OwnedRef new_ref(PyObject* object) noexcept {
    Py_XINCREF(object);
    return OwnedRef(object);
  }
  static OwnedRef new_ref(BorrowedRef object) noexcept { return new_ref(object.get()); }

  OwnedRef(OwnedRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  OwnedRef& operator=(OwnedRef&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  OwnedRef(const OwnedRef&) = delete;
  OwnedRef& operator=(const OwnedRef&) = delete;
  ~OwnedRef() { reset(); }

  PyObject* get() const noexcept { return object_; }
  BorrowedRef borrow() const noexcept { return BorrowedRef(object_); }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  // Hands the reference to the caller (for returning it to the interpreter
  // or to a stealing C-API function).
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  void reset() noexcept {
    if (PyObject* object = std::exchange(object_, nullptr)) release_reference(object);
  }

 private:
  explicit OwnedRef(PyObject* object) noexcept : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace ovcore::binding
