// The static C++ and GCC runtimes linked into the module were built against
// a newer C library than the oldest one the wheel supports (the glibc floor
// of tools/glibc_floor.txt).
// Their imports newer than that are routed here by the link (--wrap), to
// older equivalents with the same behaviour for the runtimes' uses:
//   __isoc23_strtoul (2.38):     C23 strtoul, which only adds "0b" prefixes;
//                                the runtime parses its tunables with it
//   arc4random (2.36):           std::random_device's entropy source
//   _dl_find_object (2.35):      the unwinder's lookup of the object that
//                                holds a frame, made with dl_iterate_phdr
//   pthread_once (2.34):         the same function at the version it had
//                                before libpthread moved into libc
//   __libc_single_threaded (2.32): libstdc++ skips atomics while it is set;
//                                never set here, so they are always used
// Compiled into the module only with the static runtime, which only the
// release wheel has.

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/random.h>

// Bound by its plain name, which C++ headers on a new glibc would otherwise
// redirect to the C23 variant.
extern "C" unsigned long ovpi_plain_strtoul(const char* text, char** end, int base) __asm__("strtoul");

// The version every glibc of the architecture has exported it at: the
// architecture's first. The one place where the reroutes differ by machine.
#if defined(__x86_64__)
#define OVPI_PTHREAD_ONCE_VERSION "GLIBC_2.2.5"
#elif defined(__aarch64__)
#define OVPI_PTHREAD_ONCE_VERSION "GLIBC_2.17"
#else
#error "the static runtime's reroutes know x86_64 and aarch64 only"
#endif
extern "C" int ovpi_pthread_once_first(pthread_once_t* once, void (*init)());
__asm__(".symver ovpi_pthread_once_first, pthread_once@" OVPI_PTHREAD_ONCE_VERSION);

extern "C" {

// LCOV_EXCL_START: only the runtime's tunables parser calls it
[[gnu::visibility("hidden")]] unsigned long __wrap___isoc23_strtoul(const char* text, char** end, int base) {
  return ovpi_plain_strtoul(text, end, base);
  // LCOV_EXCL_STOP
}

// Like glibc's own, it cannot fail: without entropy the process ends, since
// a value with fewer random bits than asked for would be silently weaker.
[[gnu::visibility("hidden")]] std::uint32_t __wrap_arc4random() {
  std::uint32_t value = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&value);
  std::size_t filled = 0;
  while (filled < sizeof value) {
    const ssize_t got = getrandom(bytes + filled, sizeof value - filled, 0);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got < 0 && errno != EINTR) {
      // LCOV_EXCL_START: getrandom failed for want of entropy (tested in a binary of its own)
      const int error = errno;
      std::fprintf(stderr, "ovpi: fatal: cannot get entropy for arc4random: getrandom failed: %s (errno %d)\n",
                   std::strerror(error), error);
      std::abort();
      // LCOV_EXCL_STOP
    }
  }
  return value;
}

[[gnu::visibility("hidden")]] int __wrap_pthread_once(pthread_once_t* once, void (*init)()) {
  return ovpi_pthread_once_first(once, init);
}

[[gnu::visibility("hidden")]] char __wrap___libc_single_threaded = 0;

}  // extern "C"

namespace {

struct ObjectSearch {
  std::uintptr_t address;
  dl_find_object* result;
  bool found;
};

// dl_iterate_phdr's visitor: stops (returns 1) at the object one of whose
// loaded segments holds the address, and fills in its mapping and unwind
// table.
int visit_object(dl_phdr_info* info, std::size_t, void* data) {
  auto& search = *static_cast<ObjectSearch*>(data);
  std::uintptr_t start = UINTPTR_MAX;
  std::uintptr_t end = 0;
  const void* eh_frame = nullptr;
  bool holds = false;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) & segment = info->dlpi_phdr[i];
    const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    if (segment.p_type == PT_GNU_EH_FRAME) eh_frame = reinterpret_cast<const void*>(begin);
    if (segment.p_type != PT_LOAD) continue;
    const std::uintptr_t finish = begin + segment.p_memsz;
    if (begin < start) start = begin;
    if (finish > end) end = finish;
    if (search.address >= begin && search.address < finish) holds = true;
  }
  if (!holds) return 0;
  // Only the fields every glibc's layout has; the flags say no others are set.
  search.result->dlfo_flags = 0;
  search.result->dlfo_map_start = reinterpret_cast<void*>(start);
  search.result->dlfo_map_end = reinterpret_cast<void*>(end);
  search.result->dlfo_link_map = nullptr;
  search.result->dlfo_eh_frame = const_cast<void*>(eh_frame);
  search.found = true;
  return 1;
}

}  // namespace

// 0 when the address lies in a loaded object (its unwind table may still be
// absent), -1 otherwise, as glibc's own.
extern "C" [[gnu::visibility("hidden")]] int __wrap__dl_find_object(void* address, dl_find_object* result) {
  ObjectSearch search{reinterpret_cast<std::uintptr_t>(address), result, false};
  dl_iterate_phdr(visit_object, &search);
  return search.found ? 0 : -1;
}
