#include "ovcore/src/utils/fatal.hpp"

#include <utility>

namespace ovcore::utils {
namespace {
thread_local std::exception_ptr stashed;
}  // namespace

void stash_fatal(std::exception_ptr error) noexcept {
  if (std::uncaught_exceptions() > 0 || stashed) return;
  stashed = std::move(error);
}

void rethrow_stashed_fatal() {
  if (!stashed) return;
  std::exception_ptr error = std::exchange(stashed, nullptr);
  std::rethrow_exception(error);
}

}  // namespace ovcore::utils
