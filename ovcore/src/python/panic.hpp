#pragma once
// PanicException: how a fatal native failure reaches Python. It derives from
// BaseException directly, so `except Exception` does not swallow it.

#include "ovcore/src/python/py_ref.hpp"

namespace ovcore::python {

// The exception type, created on first use and kept for the process.
// Returns nullptr with an exception set when it cannot be created.
PyObject* panic_exception_type() noexcept;

// Sets a new PanicException carrying `message` as the current exception.
void raise_panic(const char* message) noexcept;

inline constexpr const char* kGenericPanicText = "native code failed fatally";

}  // namespace ovcore::python
