#include "ovcore/src/utils/fatal.hpp"

#include <utility>

namespace ovcore::utils {
namespace {
thread_local FatalCollector* innermost = nullptr;
}  // namespace

FatalCollector::FatalCollector() noexcept
    : enclosing_(std::exchange(innermost, this)), depth_(std::uncaught_exceptions()) {}

FatalCollector::~FatalCollector() { innermost = enclosing_; }

void FatalCollector::rethrow_if_any() {
  if (!failure_) return;
  std::rethrow_exception(std::exchange(failure_, nullptr));
}

void stash_fatal(std::exception_ptr error) noexcept {
  FatalCollector* collector = innermost;
  if (collector == nullptr || collector->failure_ || std::uncaught_exceptions() != collector->depth_) return;
  collector->failure_ = std::move(error);
}

}  // namespace ovcore::utils
