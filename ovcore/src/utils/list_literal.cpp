#include "ovcore/src/utils/list_literal.hpp"

#include <cstdint>
#include <format>

namespace ovcore::utils {
namespace {

// Decodes one UTF-8 sequence at `i`; returns the code point and advances `i`.
// Texts are valid UTF-8 by contract; a stray byte is taken as its own value.
char32_t next_code_point(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<std::uint8_t>(s[i]);
  int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : 0;
  if (extra > 0 && i + static_cast<std::size_t>(extra) >= s.size()) extra = 0;
  char32_t cp = extra == 0 ? b0 : (b0 & (0x3F >> extra));
  for (int k = 1; k <= extra; ++k)
    cp = (cp << 6) | (static_cast<std::uint8_t>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
  i += 1 + static_cast<std::size_t>(extra);
  return cp;
}

bool is_plain(char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; }

bool is_printable(char32_t cp) {
  if (cp < 0x20 || cp == 0x7F) return false;
  if (cp >= 0x80 && cp <= 0x9F) return false;                      // C1 controls
  if (cp == 0xAD || (cp >= 0x200B && cp <= 0x200F)) return false;  // invisible format characters
  if (cp >= 0x2028 && cp <= 0x202E) return false;
  if (cp >= 0x2060 && cp <= 0x2064) return false;
  if (cp == 0xFEFF) return false;
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  return true;
}

template <class Item>
std::string join(std::span<const Item> items) {
  std::size_t size = 2;
  for (const Item& item : items) size += std::string_view(item).size() + 4;
  std::string out;
  out.reserve(size);
  out += '[';
  bool first = true;
  for (const Item& item : items) {
    if (!first) out += ", ";
    first = false;
    append_quoted(out, item);
  }
  out += ']';
  return out;
}

}  // namespace

void append_quoted(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + 2);
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    // Plain ASCII, the common case, is copied a run at a time.
    std::size_t run = i;
    while (run < text.size() && is_plain(text[run])) ++run;
    out.append(text.substr(i, run - i));
    i = run;
    if (i == text.size()) break;
    const std::size_t start = i;
    const char32_t cp = next_code_point(text, i);
    switch (cp) {
      case U'\\':
        out += "\\\\";
        break;
      case U'"':
        out += "\\\"";
        break;
      case U'\t':
        out += "\\t";
        break;
      case U'\r':
        out += "\\r";
        break;
      case U'\n':
        out += "\\n";
        break;
      case U'\0':
        out += "\\0";
        break;
      default:
        if (is_printable(cp)) {
          out.append(text.substr(start, i - start));
        } else {
          out += std::format("\\u{{{:x}}}", static_cast<std::uint32_t>(cp));
        }
    }
  }
  out += '"';
}

std::string list_literal(std::span<const std::string> items) { return join(items); }
std::string list_literal(std::span<const std::string_view> items) { return join(items); }

}  // namespace ovcore::utils
