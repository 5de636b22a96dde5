#include "ovpi_sys/call_boundary.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "ovcore/src/python/panic.hpp"
#include "ovcore/src/utils/fatal.hpp"

namespace ovpi_sys {

void raise_current_as_panic() noexcept {
  try {
    try {
      throw;
    } catch (const ovcore::utils::FatalError& error) {
      ovcore::python::raise_panic(error.message());
    } catch (const std::exception& error) {
      ovcore::python::raise_panic(error.what());
    } catch (...) {
      ovcore::python::raise_panic(ovcore::python::kGenericPanicText);
    }
  } catch (...) {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::abort();
  }
}

}  // namespace ovpi_sys
