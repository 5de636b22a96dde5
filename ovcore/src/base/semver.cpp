#include "ovcore/src/base/semver.hpp"

#include <charconv>

namespace ovcore::base {
namespace {

bool is_identifier_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
         c == '.';
}

std::optional<std::uint64_t> parse_number(std::string_view text) {
  if (text.empty() || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool valid_part(std::string_view part) {
  if (part.empty() || part.front() == '.' || part.back() == '.') return false;
  for (char c : part) {
    if (!is_identifier_char(c)) return false;
  }
  return part.find("..") == std::string_view::npos;
}

}  // namespace

std::string SemVer::to_string() const {
  std::string out = std::to_string(major);
  out.append(".").append(std::to_string(minor)).append(".").append(std::to_string(patch));
  if (!pre.empty()) out += "-" + pre;
  if (!build.empty()) out += "+" + build;
  return out;
}

std::optional<SemVer> SemVer::parse(std::string_view text) {
  SemVer out;
  if (const auto plus = text.find('+'); plus != std::string_view::npos) {
    out.build = std::string(text.substr(plus + 1));
    if (!valid_part(out.build)) return std::nullopt;
    text = text.substr(0, plus);
  }
  if (const auto dash = text.find('-'); dash != std::string_view::npos) {
    out.pre = std::string(text.substr(dash + 1));
    if (!valid_part(out.pre)) return std::nullopt;
    text = text.substr(0, dash);
  }
  const auto dot1 = text.find('.');
  const auto dot2 = dot1 == std::string_view::npos ? dot1 : text.find('.', dot1 + 1);
  if (dot2 == std::string_view::npos) return std::nullopt;
  const auto major = parse_number(text.substr(0, dot1));
  const auto minor = parse_number(text.substr(dot1 + 1, dot2 - dot1 - 1));
  const auto patch = parse_number(text.substr(dot2 + 1));
  if (!major || !minor || !patch) return std::nullopt;
  out.major = *major;
  out.minor = *minor;
  out.patch = *patch;
  return out;
}

}  // namespace ovcore::base
