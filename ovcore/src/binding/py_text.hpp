#pragma once
// Texts between C++ and Python: str objects from UTF-8 and back, with the
// rules for lone surrogates, which UTF-8 cannot encode.

#include <optional>
#include <string>
#include <string_view>

#include "ovcore/src/binding/py_ref.hpp"

namespace ovcore::binding {

// The texts below follow the C API's convention: an empty reference or a
// nullopt comes with the interpreter's exception set. They sit below
// PyError (py_error.hpp), which makes its messages with them.

// A new str from UTF-8 text.
OwnedRef to_py_str(std::string_view text);

// A new str from text that may carry lone surrogates in their surrogatepass
// encoding (as `utf8_with_surrogates_of` makes them): those come back as
// themselves, any other invalid byte becomes U+FFFD. For texts that travel
// through C++ and back, such as fatal-error messages.
OwnedRef to_py_str_lenient(std::string_view text);

// Text of a str object as UTF-8, lone surrogates passed through
// (surrogatepass), so that no str fails and every character is kept; nullopt
// only when the interpreter runs out of memory, with no exception left set.
std::optional<std::string> utf8_with_surrogates_of(BorrowedRef str);

// What stands for the text of an exception whose str() fails.
inline constexpr std::string_view kStrFailedText = "<exception str() failed>";

// UTF-8 text with lone surrogates in their surrogatepass encoding made
// valid: each such byte becomes U+FFFD, as a lossy decode of it gives.
std::string lossy_text(std::string_view with_surrogates);

// Text of a str object as UTF-8; lone surrogates fail with the interpreter's
// UnicodeEncodeError.
std::optional<std::string> utf8_of(BorrowedRef str);

// What stands for a type's name that cannot be read at all.
inline constexpr std::string_view kUnreadableTypeName = "<failed to extract type name>";

// The qualified name of an object's type, lone surrogates passed through
// (as `utf8_with_surrogates_of` keeps them), or kUnreadableTypeName.
std::string type_qualname_of(BorrowedRef object);

}  // namespace ovcore::binding
