#pragma once
// The one exception type of the system: an impossible state or a failure that
// cannot be reported as a value (a log callback that raised). It is thrown,
// caught only at the Python call boundary, and never crosses a destructor.

#include <exception>
#include <string>

namespace ovcore::utils {

class FatalError : public std::exception {
 public:
  explicit FatalError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

// A destructor that runs code able to fail fatally finishes its work, then
// hands the first such failure here instead of throwing. The code that caused
// the destruction collects it with `rethrow_stashed_fatal`. A failure that
// arrives while another one is already unwinding this thread, or already
// stashed, is dropped: the first failure is the one reported.
void stash_fatal(std::exception_ptr error) noexcept;

// Throws the failure stashed on this thread, if any, and clears the slot.
void rethrow_stashed_fatal();

}  // namespace ovcore::utils
