#include "ovcore/src/base/build_info.hpp"

#include <charconv>
#include <format>
#include <string_view>

#include "ovcore/src/utils/fatal.hpp"

// The block is a sequence of fields, each written as "<decimal length>:<bytes>"
// (no separator between fields), in the stored order of the records. Numbers,
// enumeration indices and booleans are decimal text; an optional value is a
// presence field ("0" or "1") followed by the value when present; a list is a
// count field followed by its items; versions, dates and times are text.

namespace ovcore::base {
namespace {

[[noreturn]] void corrupt(std::string_view what) {
  throw utils::FatalError(std::format("Could not deserialize stored build info: {}.", what));
}

class Reader {
 public:
  explicit Reader(std::span<const std::byte> block) : block_(block) {}

  bool at_end() const noexcept { return pos_ == block_.size(); }

  std::string_view field() {
    std::size_t length = 0;
    std::size_t digits = 0;
    while (pos_ < block_.size() && static_cast<char>(block_[pos_]) != ':') {
      const char c = static_cast<char>(block_[pos_]);
      if (c < '0' || c > '9' || ++digits > 9) corrupt("bad field length");
      length = length * 10 + static_cast<std::size_t>(c - '0');
      ++pos_;
    }
    if (digits == 0 || pos_ == block_.size()) corrupt("truncated field header");
    ++pos_;  // ':'
    if (block_.size() - pos_ < length) corrupt("truncated field");
    std::string_view out(reinterpret_cast<const char*>(block_.data() + pos_), length);
    pos_ += length;
    return out;
  }

  std::string text() { return std::string(field()); }

  std::uint64_t number() {
    const std::string_view f = field();
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), value);
    if (f.empty() || ec != std::errc() || end != f.data() + f.size()) corrupt("bad number");
    return value;
  }

  template <class Enum>
  Enum index(std::uint64_t count) {
    const std::uint64_t i = number();
    if (i >= count) corrupt("enumeration index out of range");
    return static_cast<Enum>(i);
  }

  bool flag() { return index<std::uint8_t>(2) != 0; }

  template <class Read>
  auto optional(Read read) -> std::optional<decltype(read())> {
    if (!flag()) return std::nullopt;
    return read();
  }

  template <class Read>
  auto list(Read read) -> std::vector<decltype(read())> {
    const std::uint64_t count = number();
    if (count > block_.size()) corrupt("list too long");
    std::vector<decltype(read())> out;
    out.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) out.push_back(read());
    return out;
  }

  SemVer version() {
    const std::optional<SemVer> v = SemVer::parse(field());
    if (!v) corrupt("bad version");
    return *v;
  }

  // YYYY-MM-DD
  std::chrono::year_month_day date() { return parse_date(field()); }

  // YYYY-MM-DDTHH:MM:SS[.fraction]Z
  UtcTime utc_time() {
    const std::string_view f = field();
    if (f.size() < 20 || f[10] != 'T' || f[13] != ':' || f[16] != ':' || f.back() != 'Z') {
      corrupt("bad timestamp");
    }
    const auto day = std::chrono::sys_days(parse_date(f.substr(0, 10)));
    const auto hms = std::chrono::hours(digits(f.substr(11, 2))) + std::chrono::minutes(digits(f.substr(14, 2))) +
                     std::chrono::seconds(digits(f.substr(17, 2)));
    std::chrono::nanoseconds fraction{0};
    std::string_view rest = f.substr(19, f.size() - 20);
    if (!rest.empty()) {
      if (rest[0] != '.' || rest.size() < 2 || rest.size() > 10) corrupt("bad timestamp fraction");
      std::string padded(rest.substr(1));
      padded.resize(9, '0');
      fraction = std::chrono::nanoseconds(digits(padded));
    }
    return UtcTime(day) + hms + fraction;
  }

 private:
  static std::uint64_t digits(std::string_view s) {
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) corrupt("bad digits");
    return value;
  }

  static std::chrono::year_month_day parse_date(std::string_view s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') corrupt("bad date");
    const std::chrono::year_month_day ymd{std::chrono::year(static_cast<int>(digits(s.substr(0, 4)))),
                                          std::chrono::month(static_cast<unsigned>(digits(s.substr(5, 2)))),
                                          std::chrono::day(static_cast<unsigned>(digits(s.substr(8, 2))))};
    if (!ymd.ok()) corrupt("bad date");
    return ymd;
  }

  std::span<const std::byte> block_;
  std::size_t pos_ = 0;
};

PackageInfo read_package(Reader& r, int depth) {
  if (depth > 8) corrupt("dependencies nested too deeply");
  PackageInfo p;
  p.name = r.text();
  p.version = r.version();
  p.authors = r.list([&] { return r.text(); });
  p.license = r.optional([&] { return r.text(); });
  p.enabled_features = r.list([&] { return r.text(); });
  p.available_features = r.list([&] { return r.text(); });
  p.dependencies = r.list([&] { return read_package(r, depth + 1); });
  return p;
}

}  // namespace

BuildInfo decode_build_info(std::span<const std::byte> block) {
  Reader r(block);
  BuildInfo info;
  info.timestamp = r.utc_time();
  info.profile = r.text();
  info.optimization_level = r.index<OptimizationLevel>(6);
  info.package_info = read_package(r, 0);
  info.target.triple = r.text();
  info.target.family = r.text();
  info.target.os = r.text();
  info.target.cpu.arch = r.text();
  info.target.cpu.pointer_width = r.number();
  info.target.cpu.endianness = r.index<Endianness>(2);
  info.target.cpu.features = r.list([&] { return r.text(); });
  info.compiler.version = r.version();
  info.compiler.commit_id = r.optional([&] { return r.text(); });
  info.compiler.commit_date = r.optional([&] { return r.date(); });
  info.compiler.channel = r.index<ReleaseChannel>(4);
  info.compiler.host_triple = r.text();
  info.version_control = r.optional([&] {
    GitInfo git;
    git.commit_id = r.text();
    git.commit_short_id = r.text();
    git.commit_timestamp = r.utc_time();
    git.dirty = r.flag();
    git.branch = r.optional([&] { return r.text(); });
    git.tags = r.list([&] { return r.text(); });
    return git;
  });
  if (!r.at_end()) throw utils::FatalError("Could not fully deserialize stored build info.");
  return info;
}

const BuildInfo& build_info() {
  // Function-local static: decoded once, other threads wait; a throwing
  // decode leaves it undecoded so the failure repeats on every access.
  static const BuildInfo info = decode_build_info(stored_build_info());
  return info;
}

}  // namespace ovcore::base
