#include "ovcore/src/utils/local_time.hpp"

#include <ctime>
#include <format>

namespace ovcore::utils {

namespace {

// The zone conversion is the expensive part of reading the clock, and its
// result only changes from one second to the next, so each thread keeps the
// last second it converted.
struct SecondCache {
  time_t second = -1;
  std::tm tm{};
};
thread_local SecondCache cache;

}  // namespace

LocalDateTime now_local() noexcept {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  if (ts.tv_sec != cache.second) {
    if (localtime_r(&ts.tv_sec, &cache.tm) == nullptr) gmtime_r(&ts.tv_sec, &cache.tm);
    cache.second = ts.tv_sec;
  }
  const std::tm& tm = cache.tm;
  return LocalDateTime{
      .year = tm.tm_year + 1900,
      .month = static_cast<std::uint8_t>(tm.tm_mon + 1),
      .day = static_cast<std::uint8_t>(tm.tm_mday),
      .hour = static_cast<std::uint8_t>(tm.tm_hour),
      .minute = static_cast<std::uint8_t>(tm.tm_min),
      // localtime_r never reports second 60 from a POSIX clock; clamp anyway
      // so the leap-second encoding stays the only way to say it.
      .second = static_cast<std::uint8_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec),
      .nanosecond = static_cast<std::uint32_t>(ts.tv_nsec),
  };
}

std::string format_timepoint(const LocalDateTime& t) {
  std::uint32_t nanos = t.nanosecond;
  unsigned second = t.second;
  if (nanos >= 1'000'000'000U) {
    nanos -= 1'000'000'000U;
    second += 1;
  }
  std::string out = (t.year >= 0 && t.year <= 9999)
                        ? std::format("{:04}", t.year)
                        : std::format("{:+05}", t.year);
  out += std::format("-{:02}-{:02} {:02}:{:02}:{:02}", t.month, t.day, t.hour, t.minute, second);
  if (nanos == 0) return out;
  if (nanos % 1'000'000 == 0) return out + std::format(".{:03}", nanos / 1'000'000);
  if (nanos % 1'000 == 0) return out + std::format(".{:06}", nanos / 1'000);
  return out + std::format(".{:09}", nanos);
}

}  // namespace ovcore::utils
