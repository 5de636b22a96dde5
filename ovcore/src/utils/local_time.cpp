#include "ovcore/src/utils/local_time.hpp"

#include <atomic>
#include <ctime>
#include <format>

namespace ovcore::utils {

namespace {

// What the C library's zone state looks like from outside. tzset() (and so
// Python's time.tzset()) rewrites these whenever it loads another zone, so a
// conversion made under other values may belong to another zone.
struct ZoneStamp {
  const char* standard_name = nullptr;
  const char* daylight_name = nullptr;
  long offset = 0;
  int has_daylight = 0;

  bool operator==(const ZoneStamp&) const = default;

  static ZoneStamp current() noexcept {
    // Another thread's tzset() may be writing them; relaxed loads keep each
    // read whole, and a torn mix only costs one extra conversion.
    return ZoneStamp{
        .standard_name = std::atomic_ref<char*>(tzname[0]).load(std::memory_order_relaxed),
        .daylight_name = std::atomic_ref<char*>(tzname[1]).load(std::memory_order_relaxed),
        .offset = std::atomic_ref<long>(timezone).load(std::memory_order_relaxed),
        .has_daylight = std::atomic_ref<int>(daylight).load(std::memory_order_relaxed),
    };
  }
};

// The zone conversion is the expensive part of reading the clock, and its
// result only changes from one second to the next, so each thread keeps the
// last second it converted, with the zone it was converted in, as the
// fields the caller gets.
struct SecondCache {
  time_t second = -1;
  ZoneStamp zone;
  LocalDateTime local;
};
thread_local SecondCache cache;

LocalDateTime convert(time_t second) noexcept {
  std::tm tm{};
  if (localtime_r(&second, &tm) == nullptr) gmtime_r(&second, &tm);
  return LocalDateTime{
      .year = tm.tm_year + 1900,
      .month = static_cast<std::uint8_t>(tm.tm_mon + 1),
      .day = static_cast<std::uint8_t>(tm.tm_mday),
      .hour = static_cast<std::uint8_t>(tm.tm_hour),
      .minute = static_cast<std::uint8_t>(tm.tm_min),
      // localtime_r never reports second 60 from a POSIX clock; clamp anyway
      // so the leap-second encoding stays the only way to say it.
      .second = static_cast<std::uint8_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec),
      .nanosecond = 0,
  };
}

}  // namespace

LocalDateTime now_local() noexcept {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const ZoneStamp zone = ZoneStamp::current();
  if (ts.tv_sec != cache.second || zone != cache.zone) [[unlikely]] {
    cache.local = convert(ts.tv_sec);
    cache.second = ts.tv_sec;
    // localtime_r may load the zone on first use, so stamp what it left.
    cache.zone = ZoneStamp::current();
  }
  LocalDateTime now = cache.local;
  now.nanosecond = static_cast<std::uint32_t>(ts.tv_nsec);
  return now;
}

std::string format_timepoint(const LocalDateTime& t) {
  std::uint32_t nanos = t.nanosecond;
  unsigned second = t.second;
  if (nanos >= 1'000'000'000U) {
    nanos -= 1'000'000'000U;
    second += 1;
  }
  std::string out = (t.year >= 0 && t.year <= 9999) ? std::format("{:04}", t.year) : std::format("{:+05}", t.year);
  out += std::format("-{:02}-{:02} {:02}:{:02}:{:02}", t.month, t.day, t.hour, t.minute, second);
  if (nanos == 0) return out;
  if (nanos % 1'000'000 == 0) return out + std::format(".{:03}", nanos / 1'000'000);
  if (nanos % 1'000 == 0) return out + std::format(".{:06}", nanos / 1'000);
  return out + std::format(".{:09}", nanos);
}

}  // namespace ovcore::utils
