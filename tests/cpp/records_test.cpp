#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ovcore/src/base/api.hpp"
#include "ovcore/src/ext/ovlog/log_records.hpp"
#include "ovcore/src/utils/list_literal.hpp"
#include "ovcore/src/utils/local_time.hpp"
#include "ovcore/src/utils/uuid.hpp"

namespace {

using ovcore::base::SemVer;
using ovcore::base::api::to_semver;
using ovcore::ext::ovlog::LogCallbackEXT;
using ovcore::ext::ovlog::LogCreateInfoEXT;
using ovcore::ext::ovlog::LogLevelEXT;
using ovcore::utils::format_timepoint;
using ovcore::utils::list_literal;
using ovcore::utils::LocalDateTime;
using ovcore::utils::Uuid;

TEST(Versions, ConvertWithoutLossAndPrintAsSemver) {
  EXPECT_EQ(to_semver({65535, 65535, 65535}).to_string(), "65535.65535.65535");
  EXPECT_EQ(to_semver({0, 0, 0}).to_string(), "0.0.0");
  EXPECT_EQ(to_semver({1, 0, 12}).to_string(), "1.0.12");
  EXPECT_EQ((SemVer{1, 2, 3, "rc.1", "abc"}).to_string(), "1.2.3-rc.1+abc");
  EXPECT_EQ((SemVer{1, 2, 3, "", "abc"}).to_string(), "1.2.3+abc");
  EXPECT_EQ(SemVer::parse("1.2.3-rc.1+abc"), (SemVer{1, 2, 3, "rc.1", "abc"}));
  EXPECT_EQ(SemVer::parse("18446744073709551615.0.0")->major, 18446744073709551615ULL);
  EXPECT_EQ(SemVer::parse("1.2.3-0.a-Z+b0"), (SemVer{1, 2, 3, "0.a-Z", "b0"}));
  for (const char* bad : {"", "1.2", "01.2.3", "1.2.3-", "1.2.3+", "a.b.c", "1.2.3.4", "18446744073709551616.0.0"}) {
    EXPECT_FALSE(SemVer::parse(bad).has_value()) << bad;
  }
}

TEST(ListLiteral, QuotesAndEscapesEachItem) {
  const std::vector<std::string> none;
  EXPECT_EQ(list_literal(none), "[]");
  const std::vector<std::string> items{"a",        "b c", "q\"\\",   "t\tr\rn\n0", std::string("nul\0x", 5),
                                       "\x01\x7f", "é€",  "\xc2\x85"};
  EXPECT_EQ(list_literal(items),
            "[\"a\", \"b c\", \"q\\\"\\\\\", \"t\\tr\\rn\\n0\", \"nul\\0x\", "
            "\"\\u{1}\\u{7f}\", \"é€\", \"\\u{85}\"]");
  // The edges of each escaped range with their neighbours kept, each length
  // of UTF-8 sequence, and a lead byte cut off at the end, kept as it is.
  const std::pair<std::string, std::string> edges[] = {
      {"\u007f\u0080\u009f\u00a0", "\\u{7f}\\u{80}\\u{9f}\u00a0"},
      {"\u2027\u2028\u202e\u202f", "\u2027\\u{2028}\\u{202e}\u202f"},
      {"\u205f\u2060\u2064\u2065", "\u205f\\u{2060}\\u{2064}\u2065"},
      {"\ufefe\ufeff\uff00", "\ufefe\\u{feff}\uff00"},
      {"\xed\x9f\xbf\xed\xa0\x80\xed\xbf\xbf\xee\x80\x80", "\ud7ff\\u{d800}\\u{dfff}\ue000"},
      {"\u0915\U0001F600", "\u0915\U0001F600"},
      {"a\u00e9b", "a\u00e9b"},
      {"tail \xc2", "tail \xc2"},
      {"", ""},
  };
  for (const auto& [text, quoted] : edges) {
    EXPECT_EQ(list_literal(std::vector<std::string>{text}), "[\"" + quoted + "\"]") << quoted;
  }
}

TEST(Timepoint, FractionDigitsAndLeapSecond) {
  LocalDateTime t{2024, 5, 1, 9, 30, 0, 0};
  EXPECT_EQ(format_timepoint(t), "2024-05-01 09:30:00");
  t.nanosecond = 250'000'000;
  EXPECT_EQ(format_timepoint(t), "2024-05-01 09:30:00.250");
  t.nanosecond = 1'500'000;
  EXPECT_EQ(format_timepoint(t), "2024-05-01 09:30:00.001500");
  t.nanosecond = 7;
  EXPECT_EQ(format_timepoint(t), "2024-05-01 09:30:00.000000007");
  LocalDateTime leap{2016, 12, 31, 23, 59, 59, 1'000'000'000};
  EXPECT_EQ(format_timepoint(leap), "2016-12-31 23:59:60");
  leap.nanosecond = 1'123'000'000;
  EXPECT_EQ(format_timepoint(leap), "2016-12-31 23:59:60.123");
  EXPECT_EQ(format_timepoint({12345, 1, 2, 3, 4, 5, 0}), "+12345-01-02 03:04:05");
  EXPECT_EQ(format_timepoint({-1, 1, 2, 3, 4, 5, 0}), "-0001-01-02 03:04:05");
}

TEST(Timepoint, NowIsAPlausibleLocalTime) {
  const LocalDateTime now = ovcore::utils::now_local();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_LT(now.nanosecond, 1'000'000'000U);
}

// Two readings in one second under two zones: the cache must not hand the
// first zone's reading back.
TEST(Timepoint, AZoneChangeWithinASecondTakesEffect) {
  const auto minutes_in = [](const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
    const LocalDateTime t = ovcore::utils::now_local();
    return std::pair{t.second, t.hour * 60 + t.minute};
  };
  int difference = -1;
  for (int attempt = 0; attempt < 10 && difference < 0; ++attempt) {
    const auto [utc_second, utc] = minutes_in("UTC0");
    const auto [tokyo_second, tokyo] = minutes_in("JST-9");
    if (utc_second == tokyo_second) difference = (tokyo - utc + 1440) % 1440;
  }
  unsetenv("TZ");
  tzset();
  EXPECT_EQ(difference, 9 * 60);
}

TEST(LogRecords, LevelsHaveFixedValuesAndNames) {
  const std::vector<std::pair<LogLevelEXT, const char*>> expected{{LogLevelEXT::Trace, "Trace"},
                                                                  {LogLevelEXT::Debug, "Debug"},
                                                                  {LogLevelEXT::Info, "Info"},
                                                                  {LogLevelEXT::Warn, "Warn"},
                                                                  {LogLevelEXT::Error, "Error"}};
  for (std::uint32_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(static_cast<std::uint32_t>(expected[i].first), i);
    EXPECT_EQ(ovcore::ext::ovlog::to_string(expected[i].first), expected[i].second);
  }
  EXPECT_LT(LogLevelEXT::Trace, LogLevelEXT::Error);
}

TEST(LogRecords, SettingsCannotBeBuiltWithoutACallback) {
  static_assert(!std::is_default_constructible_v<LogCreateInfoEXT>);
  EXPECT_EQ(LogCreateInfoEXT::create(LogLevelEXT::Info, LogCallbackEXT{}), nullptr);
  auto settings = LogCreateInfoEXT::create(LogLevelEXT::Warn, [](auto) {});
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->level(), LogLevelEXT::Warn);
  static_assert(!std::is_copy_constructible_v<ovcore::ext::ovlog::LogMessageEXT>);
}

TEST(Uuids, CanonicalTextAndUnsignedByteOrder) {
  constexpr Uuid logger = Uuid::literal("20189b61-7279-46fa-9ba2-5f0360bf5b51");
  EXPECT_EQ(logger.to_string(), "20189b61-7279-46fa-9ba2-5f0360bf5b51");
  EXPECT_EQ(Uuid::parse("20189B61-7279-46FA-9BA2-5F0360BF5B51"), logger);
  EXPECT_FALSE(Uuid::parse("20189b61-7279-46fa-9ba2-5f0360bf5b5").has_value());
  EXPECT_FALSE(Uuid::parse("20189b61x7279-46fa-9ba2-5f0360bf5b51").has_value());
  EXPECT_FALSE(Uuid::parse("g0189b61-7279-46fa-9ba2-5f0360bf5b51").has_value());
  // 0x80 sorts above 0x7f: bytes compare unsigned.
  EXPECT_LT(Uuid::literal("7f000000-0000-0000-0000-000000000000"),
            Uuid::literal("80000000-0000-0000-0000-000000000000"));
  EXPECT_LT(Uuid::literal("00000000-0000-0000-0000-0000000000ff"),
            Uuid::literal("00000000-0000-0000-0000-000000000100"));
  // The first eight bytes decide before the last eight; within them, the
  // earlier byte decides.
  EXPECT_LT(Uuid::literal("00000000-0000-00ff-ffff-ffffffffffff"),
            Uuid::literal("00000000-0000-0100-0000-000000000000"));
  EXPECT_LT(Uuid::literal("00000000-0000-0000-7fff-ffffffffffff"),
            Uuid::literal("00000000-0000-0000-8000-000000000000"));
  // The same order when compared while compiling, where the words are read
  // byte by byte.
  constexpr bool compiled =
      Uuid::literal("00000000-0000-0000-ff00-000000000000") < Uuid::literal("01000000-0000-0000-0000-000000000000");
  constexpr bool compiled_top =
      Uuid::literal("01000000-0000-0000-0000-000000000000") < Uuid::literal("02000000-0000-0000-0000-000000000000");
  EXPECT_TRUE(compiled);
  EXPECT_TRUE(compiled_top);
  EXPECT_GT(Uuid::literal("01000000-0000-0000-0000-000000000000"),
            Uuid::literal("00ffffff-ffff-ffff-ffff-ffffffffffff"));
  EXPECT_EQ(
      Uuid::literal("00000000-0000-0000-8000-000000000001") <=> Uuid::literal("00000000-0000-0000-8000-000000000001"),
      std::strong_ordering::equal);
}

}  // namespace
