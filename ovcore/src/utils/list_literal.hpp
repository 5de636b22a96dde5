#pragma once
// The text form of a list of names used in log and error messages:
// ["a", "b\"c"] -- each item in double quotes with backslash escapes.

#include <span>
#include <string>
#include <string_view>

namespace ovcore::utils {

// Appends `text` quoted: backslash and double quote get a backslash; tab,
// carriage return, line feed and NUL become \t \r \n \0; any other
// non-printable character becomes \u{hex}.
void append_quoted(std::string& out, std::string_view text);

std::string list_literal(std::span<const std::string> items);
std::string list_literal(std::span<const std::string_view> items);

}  // namespace ovcore::utils
