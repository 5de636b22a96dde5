#pragma once
// A 16-byte RFC 4122 UUID, stored most significant byte first. Ordering
// compares the bytes first to last as unsigned values.

#include <array>
#include <bit>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace ovcore::utils {

struct Uuid {
  std::array<std::uint8_t, 16> bytes{};

  // Parses the canonical form: 32 hex digits in groups 8-4-4-4-12. Upper- and
  // lowercase digits are accepted.
  static constexpr std::optional<Uuid> parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    Uuid out;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
      if (i == 8 || i == 13 || i == 18 || i == 23) {
        if (text[i] != '-') return std::nullopt;
        ++i;
        continue;
      }
      const int hi = hex_value(text[i]);
      const int lo = hex_value(text[i + 1]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out.bytes[byte++] = static_cast<std::uint8_t>(hi * 16 + lo);
      i += 2;
    }
    return out;
  }

  // For constants: a malformed literal fails to compile.
  static consteval Uuid literal(std::string_view text) {
    const std::optional<Uuid> uuid = parse(text);
    if (!uuid) throw "malformed UUID literal";
    return *uuid;
  }

  // Canonical lowercase text form.
  std::string to_string() const;

  friend constexpr bool operator==(const Uuid&, const Uuid&) = default;
  // The same order as comparing the bytes one by one, as two big-endian
  // words: the logger finds itself by UUID for every message.
  friend constexpr std::strong_ordering operator<=>(const Uuid& a, const Uuid& b) noexcept {
    const std::uint64_t a_high = a.word(0), b_high = b.word(0);
    if (a_high != b_high) return a_high <=> b_high;
    return a.word(8) <=> b.word(8);
  }

 private:
  constexpr std::uint64_t word(std::size_t first) const noexcept {
    if consteval {
      std::uint64_t value = 0;
      for (std::size_t i = first; i < first + 8; ++i) value = (value << 8) | bytes[i];
      return value;
    } else {
      std::uint64_t value;
      std::memcpy(&value, bytes.data() + first, sizeof value);
      return std::endian::native == std::endian::little ? std::byteswap(value) : value;
    }
  }

  static constexpr int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
};

}  // namespace ovcore::utils
