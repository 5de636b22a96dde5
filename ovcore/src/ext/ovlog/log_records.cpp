#include "ovcore/src/ext/ovlog/log_records.hpp"

namespace ovcore::ext::ovlog {

std::string_view to_string(LogLevelEXT level) noexcept {
  switch (level) {
    case LogLevelEXT::Trace:
      return "Trace";
    case LogLevelEXT::Debug:
      return "Debug";
    case LogLevelEXT::Info:
      return "Info";
    case LogLevelEXT::Warn:
      return "Warn";
    case LogLevelEXT::Error:
      return "Error";
  }
  return "Unknown";  // LCOV_EXCL_LINE: every level has a case above
}

std::unique_ptr<LogCreateInfoEXT> LogCreateInfoEXT::create(LogLevelEXT level, LogCallbackEXT callback) {
  if (!callback) return nullptr;
  return std::unique_ptr<LogCreateInfoEXT>(new LogCreateInfoEXT(level, std::move(callback)));
}

}  // namespace ovcore::ext::ovlog
