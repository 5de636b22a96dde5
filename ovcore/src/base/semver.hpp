#pragma once
// A semantic version (SemVer 2.0.0): three numbers plus optional pre-release
// and build-metadata parts.

#include <cstdint>
#include <format>
#include <optional>
#include <string>
#include <string_view>

namespace ovcore::base {

struct SemVer {
  std::uint64_t major = 0;
  std::uint64_t minor = 0;
  std::uint64_t patch = 0;
  std::string pre;    // empty: none
  std::string build;  // empty: none

  // "1.2.3", "1.2.3-rc.1", "1.2.3-rc.1+abc", "1.2.3+abc".
  std::string to_string() const;
  // The inverse of to_string; nullopt for anything that is not such a text.
  static std::optional<SemVer> parse(std::string_view text);
  bool operator==(const SemVer&) const = default;
};

}  // namespace ovcore::base

template <>
struct std::formatter<ovcore::base::SemVer> : std::formatter<std::string_view> {
  auto format(const ovcore::base::SemVer& v, std::format_context& ctx) const {
    return std::formatter<std::string_view>::format(v.to_string(), ctx);
  }
};
