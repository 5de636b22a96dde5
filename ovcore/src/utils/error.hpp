#pragma once
// OvError: the core's one error type. A plain, move-only value with a fixed
// display text; no numeric codes.

#include <cstddef>
#include <cstdint>
#include <format>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "ovcore/src/utils/result.hpp"

namespace ovcore::utils {

// What went wrong in an operating-system I/O call.
enum class IoErrorKind : std::uint8_t {
  NotFound,
  PermissionDenied,
  AlreadyExists,
  InvalidInput,
  InvalidData,
  UnexpectedEof,
  Interrupted,
  Other,
};

// An I/O failure: its kind plus either the OS error number or a custom text.
struct IoError {
  IoErrorKind kind = IoErrorKind::Other;
  std::variant<int, std::string> detail;  // errno, or a custom message

  static IoError from_os(int os_error);
  static IoError custom(IoErrorKind kind, std::string message);
  std::string to_string() const;
};

// A UTF-8 decoding failure: the input was valid up to `valid_up_to` bytes; the
// invalid sequence that follows is `error_len` bytes long, or absent when the
// input ended inside a sequence.
struct Utf8Error {
  std::size_t valid_up_to = 0;
  std::optional<std::uint8_t> error_len;
  std::string to_string() const;
};

// A manifest parse failure as the reader reports it.
struct ParseError {
  struct Span {
    std::size_t begin;  // byte offsets into `input`, end exclusive
    std::size_t end;
  };
  std::string message;
  std::optional<Span> span;
  std::vector<std::string> keys;             // path of the offending key
  std::shared_ptr<const std::string> input;  // whole input, when kept

  // Multi-line: position, the offending line with carets under the span, the
  // message. Without an excerpt: the message and the dotted key path.
  std::string to_string() const;
};

class OvError {
 public:
  struct Io {
    IoError error;
  };
  struct ManifestParse {
    std::string path;
    ParseError error;
  };
  struct Unknown {
    std::string text;
  };
  struct PluginNotFound {
    std::string name;
  };
  struct Utf8Conversion {
    Utf8Error error;
  };
  using Variant = std::variant<Io, ManifestParse, Unknown, PluginNotFound, Utf8Conversion>;

  template <class V>
    requires std::is_constructible_v<Variant, V&&>
  explicit OvError(V&& v) : value_(std::forward<V>(v)) {}

  static OvError plugin_not_found(std::string name) { return OvError(PluginNotFound{std::move(name)}); }
  static OvError unknown(std::string text) { return OvError(Unknown{std::move(text)}); }

  OvError(OvError&&) noexcept = default;
  OvError& operator=(OvError&&) noexcept = default;
  OvError(const OvError&) = delete;
  OvError& operator=(const OvError&) = delete;

  const Variant& value() const noexcept { return value_; }
  std::string to_string() const;

 private:
  Variant value_;
};

std::ostream& operator<<(std::ostream& os, const OvError& error);

// The result of a core operation that can fail.
template <class T>
using OvResult = Result<T, OvError>;

}  // namespace ovcore::utils

template <>
struct std::formatter<ovcore::utils::OvError> : std::formatter<std::string_view> {
  auto format(const ovcore::utils::OvError& e, std::format_context& ctx) const {
    return std::formatter<std::string_view>::format(e.to_string(), ctx);
  }
};
