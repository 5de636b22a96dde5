#include "ovcore/src/binding/call_boundary.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "ovcore/src/binding/interrupt.hpp"
#include "ovcore/src/binding/panic.hpp"
#include "ovcore/src/utils/fatal.hpp"

namespace ovcore::binding {

void raise_current_exception() noexcept {
  try {
    try {
      throw;
    } catch (const ProgramInterrupt& interrupt) {
      PyErr_SetRaisedException(OwnedRef::new_ref(interrupt.exception()).release());
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

void report_release_failure(ReleaseTime time) noexcept {
  // A finalizing interpreter has no program left to receive anything.
  if (Py_IsFinalizing()) time = ReleaseTime::kAtExit;
  // Asked first, while no exception is set.
  const bool main_thread = time == ReleaseTime::kAtExit || on_main_thread();
  try {
    throw;
  } catch (const ProgramInterrupt& interrupt) {
    if (time == ReleaseTime::kDuringProgram && main_thread && raise_in_program(interrupt.exception())) return;
    raise_current_exception();
  } catch (...) {
    raise_current_exception();
  }
  report_unraisable_release(time, main_thread);
}

}  // namespace ovcore::binding
