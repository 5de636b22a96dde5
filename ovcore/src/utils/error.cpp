#include "ovcore/src/utils/error.hpp"

#include <algorithm>
#include <system_error>

namespace ovcore::utils {

IoError IoError::from_os(int os_error) {
  IoErrorKind kind = IoErrorKind::Other;
  std::error_condition cond = std::generic_category().default_error_condition(os_error);
  if (cond == std::errc::no_such_file_or_directory)
    kind = IoErrorKind::NotFound;
  else if (cond == std::errc::permission_denied)
    kind = IoErrorKind::PermissionDenied;
  else if (cond == std::errc::file_exists)
    kind = IoErrorKind::AlreadyExists;
  else if (cond == std::errc::invalid_argument)
    kind = IoErrorKind::InvalidInput;
  else if (cond == std::errc::interrupted)
    kind = IoErrorKind::Interrupted;
  return IoError{kind, os_error};
}

IoError IoError::custom(IoErrorKind kind, std::string message) { return IoError{kind, std::move(message)}; }

std::string IoError::to_string() const {
  if (const int* os = std::get_if<int>(&detail)) {
    return std::format("{} (os error {})", std::system_category().message(*os), *os);
  }
  return std::get<std::string>(detail);
}

std::string Utf8Error::to_string() const {
  if (error_len) {
    return std::format("invalid sequence of {} byte(s) after {} valid byte(s)", static_cast<unsigned>(*error_len),
                       valid_up_to);
  }
  return std::format("input ends inside a multi-byte sequence after {} valid byte(s)", valid_up_to);
}

std::string ParseError::to_string() const {
  auto dotted_keys = [this] {
    std::string out;
    for (const std::string& key : keys) {
      if (!out.empty()) out += '.';
      out += key;
    }
    return out;
  };
  if (!span || !input || span->begin > input->size()) {
    if (keys.empty()) return message;
    return std::format("{}\nin `{}`", message, dotted_keys());
  }
  const std::string& text = *input;
  const std::size_t begin = span->begin;
  std::size_t line_start = 0;
  if (begin > 0) {
    const std::size_t newline = text.rfind('\n', begin - 1);
    if (newline != std::string::npos) line_start = newline + 1;
  }
  std::size_t line_end = text.find('\n', begin);
  if (line_end == std::string::npos) line_end = text.size();
  const std::size_t line_no =
      1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(begin), '\n'));
  const std::size_t column = 1 + begin - line_start;
  const std::size_t end = std::clamp(span->end, begin, line_end);
  const std::size_t width = std::max<std::size_t>(1, end - begin);
  const std::string gutter(std::to_string(line_no).size(), ' ');
  return std::format("parse error at line {}, column {}\n{} |\n{} | {}\n{} | {}{}\n{}", line_no, column, gutter,
                     line_no, std::string_view(text).substr(line_start, line_end - line_start), gutter,
                     std::string(column - 1, ' '), std::string(width, '^'), message);
}

std::string OvError::to_string() const {
  struct Visitor {
    std::string operator()(const Io& v) const { return "I/O error: " + v.error.to_string(); }
    std::string operator()(const ManifestParse& v) const {
      return "Failed to parse manifest file '" + v.path + "': " + v.error.to_string();
    }
    std::string operator()(const Unknown& v) const { return "An unknown error occurred: " + v.text; }
    std::string operator()(const PluginNotFound& v) const { return "Plugin with name '" + v.name + "' not found"; }
    std::string operator()(const Utf8Conversion& v) const { return "UTF-8 conversion error: " + v.error.to_string(); }
  };
  return std::visit(Visitor{}, value_);
}

std::ostream& operator<<(std::ostream& os, const OvError& error) { return os << error.to_string(); }

}  // namespace ovcore::utils
