#include "ovcore/src/base/semver.hpp"

#include <charconv>
#include <iterator>

namespace ovcore::base {
namespace {

void append_number(std::string& out, std::uint64_t value) {
  char digits[20];  // the most a 64-bit value needs
  out.append(digits, std::to_chars(digits, std::end(digits), value).ptr);
}

bool is_identifier_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.';
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
  // Written for every instance's report: one string, sized once.
  std::string out;
  out.reserve(3 * 20 + 2 + (pre.empty() ? 0 : pre.size() + 1) + (build.empty() ? 0 : build.size() + 1));
  append_number(out, major);
  out += '.';
  append_number(out, minor);
  out += '.';
  append_number(out, patch);
  if (!pre.empty()) out.append("-").append(pre);
  if (!build.empty()) out.append("+").append(build);
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
