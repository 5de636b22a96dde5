#include "ovcore/src/binding/call_boundary.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "ovcore/src/binding/panic.hpp"
#include "ovcore/src/utils/fatal.hpp"

namespace ovcore::binding {

void raise_current_as_panic() noexcept {
  try {
    try {
      throw;
    } catch (const utils::FatalError& error) {
      raise_panic(error.message());
    } catch (const std::exception& error) {
      raise_panic(error.what());
    } catch (...) {
      raise_panic(kGenericPanicText);
    }
  // LCOV_EXCL_START: raise_panic itself threw; the process ends
  } catch (...) {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::abort();
  // LCOV_EXCL_STOP
  }
}

}  // namespace ovcore::binding
