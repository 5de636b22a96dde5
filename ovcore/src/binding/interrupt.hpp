#pragma once
// KeyboardInterrupt and SystemExit raised by Python code that native code
// called (a log callback) are the program's own control flow, not failures
// of that code: a Ctrl-C, or a signal handler that calls sys.exit(), lands
// in whatever Python line runs first, and inside a native call that line is
// the callback's. Such an exception unwinds the native operation exactly as
// a fatal error does, then reaches the program as itself (call_boundary.hpp).

#include <memory>
#include <string>

#include "ovcore/src/binding/py_ref.hpp"
#include "ovcore/src/utils/fatal.hpp"

namespace ovcore::binding {

// Is `exception` a KeyboardInterrupt or a SystemExit (or of a subclass)?
bool is_interrupt(BorrowedRef exception) noexcept;

// The Python exception on its way through the core. A utils::FatalError, so
// that every path that unwinds a fatal error (a teardown that finishes its
// steps, a collector that keeps the first failure) carries this one too.
class ProgramInterrupt : public utils::FatalError {
 public:
  explicit ProgramInterrupt(OwnedRef exception);

  // The exception, with the traceback of the code that raised it.
  BorrowedRef exception() const noexcept { return exception_->borrow(); }

 private:
  // Shared, since a thrown object must be copyable; released like any
  // OwnedRef, so also from a thread that is not attached.
  std::shared_ptr<const OwnedRef> exception_;
};

// Hands `exception`, raised by a release on the main thread, to the
// program: queued, and raised at the interpreter's next check for pending
// work (a call into Python code, a loop's back edge), where a signal's
// handler would run had the signal arrived a moment later. Only for the
// main thread: a signal's handler only ever runs there, so an interrupt
// that another thread raised is that thread's own, and the main thread must
// never stop for it. Never while the interpreter finalizes. False when the
// queue is full; the caller reports the exception then.
bool raise_in_program(BorrowedRef exception) noexcept;

}  // namespace ovcore::binding
