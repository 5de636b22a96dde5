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
// hands the first such failure to `stash_fatal` instead of throwing. The code
// that caused the destruction opens a `FatalCollector` around it and rethrows
// what was collected.
//
// A collector takes failures only at the unwinding depth it was opened at
// (std::uncaught_exceptions()): a destructor that runs because an exception
// unwinds through the collector's scope is finishing past that exception,
// and its failure is dropped (the unwinding one is reported). A collector
// opened during some other unwinding, by a release that the unwinding caused,
// still collects its own failures. Collectors nest per thread; the innermost
// one collects. With none open the failure is dropped: nobody would report it.
class FatalCollector {
 public:
  FatalCollector() noexcept;
  ~FatalCollector();
  FatalCollector(const FatalCollector&) = delete;
  FatalCollector& operator=(const FatalCollector&) = delete;

  // Throws the first failure collected so far, if any, and forgets it.
  void rethrow_if_any();

 private:
  friend void stash_fatal(std::exception_ptr error) noexcept;
  FatalCollector* enclosing_;
  int depth_;
  std::exception_ptr failure_;
};

void stash_fatal(std::exception_ptr error) noexcept;

}  // namespace ovcore::utils
