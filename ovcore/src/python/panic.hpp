#pragma once
// PanicException: how a fatal native failure reaches Python. It derives from
// BaseException directly, so `except Exception` does not swallow it.

#include <string_view>

#include "ovcore/src/python/py_ref.hpp"

namespace ovcore::python {

// The exception type, created on first use and kept for the process.
// Returns nullptr with an exception set when it cannot be created.
PyObject* panic_exception_type() noexcept;

// The type if it exists yet, else nullptr: nothing can be an instance of a
// type that was never made.
PyObject* panic_exception_type_if_made() noexcept;

// Sets a new PanicException carrying `message` as the current exception.
// Every character crosses, NULs included; lone surrogates carried in their
// surrogatepass encoding come back as themselves.
void raise_panic(std::string_view message) noexcept;

inline constexpr std::string_view kGenericPanicText = "native code failed fatally";

}  // namespace ovcore::python
