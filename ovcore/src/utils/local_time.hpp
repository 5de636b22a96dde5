#pragma once
// Local wall-clock date and time without zone, nanosecond resolution.

#include <cstdint>
#include <string>

namespace ovcore::utils {

struct LocalDateTime {
  std::int32_t year = 1970;
  std::uint8_t month = 1;  // 1..12
  std::uint8_t day = 1;    // 1..31
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  // 1'000'000'000 or more marks a leap second (the clock never yields one,
  // but the type and its formatting carry it).
  std::uint32_t nanosecond = 0;
};

// The current time in the process's local time zone.
LocalDateTime now_local() noexcept;

// "YYYY-MM-DD HH:MM:SS" then ".fff", ".ffffff" or ".fffffffff" when the
// nanoseconds are not zero (the shortest of the three that is exact). A leap
// second prints as second 60. Years outside 0..9999 carry a sign.
std::string format_timepoint(const LocalDateTime& t);

}  // namespace ovcore::utils
