// The static C++ runtime linked into the module was built against a newer C
// library than the oldest one the wheel supports. Two of its imports are the
// only ones newer than glibc 2.35; the link routes them here (--wrap), to
// older equivalents with the same behaviour for the runtime's uses:
//   __isoc23_strtoul (2.38): C23 strtoul, which only adds "0b" prefixes; the
//                            runtime parses its tunables with it
//   arc4random (2.36):       std::random_device's entropy source
// Compiled into the module only with the static runtime.

#include <sys/random.h>

#include <cerrno>
#include <cstdint>

// Bound by its plain name, which C++ headers on a new glibc would otherwise
// redirect to the C23 variant.
extern "C" unsigned long ovpi_plain_strtoul(const char* text, char** end, int base) __asm__("strtoul");

extern "C" [[gnu::visibility("hidden")]] unsigned long __wrap___isoc23_strtoul(const char* text, char** end,
                                                                                int base) {
  return ovpi_plain_strtoul(text, end, base);
}

extern "C" [[gnu::visibility("hidden")]] std::uint32_t __wrap_arc4random() {
  std::uint32_t value = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&value);
  std::size_t filled = 0;
  while (filled < sizeof value) {
    const ssize_t got = getrandom(bytes + filled, sizeof value - filled, 0);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got < 0 && errno != EINTR) {
      break;  // no entropy to be had: what was read so far
    }
  }
  return value;
}
