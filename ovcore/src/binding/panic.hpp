#pragma once
// PanicException: how a fatal native failure reaches Python. It derives from
// BaseException directly, so `except Exception` does not swallow it.

#include <string_view>

#include "ovcore/src/binding/py_error.hpp"

namespace ovcore::binding {

// The exception type, created on first use and kept for the process.
// Returns nullptr with an exception set when it cannot be created.
PyObject* panic_exception_type() noexcept;

// Is `exception` a PanicException (or of a subclass)? Never creates the type:
// nothing can be an instance of a type that was never made.
bool is_panic(BorrowedRef exception) noexcept;

// A PanicException fetched back from Python (one that Python code let
// through) is not an ordinary error: prints a notice and the exception's
// traceback to sys.stderr, then throws utils::FatalError with its str(), so
// that it crosses the boundary again as a fatal error with the same text.
[[noreturn]] void resume_panic(OwnedRef exception);

// Sets a new PanicException carrying `message` as the current exception.
// Every character crosses, NULs included; lone surrogates carried in their
// surrogatepass encoding come back as themselves.
void raise_panic(std::string_view message) noexcept;

inline constexpr std::string_view kGenericPanicText = "native code failed fatally";

}  // namespace ovcore::binding
