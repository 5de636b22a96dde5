#include "ovcore/src/binding/ext/ovlog/log_settings_py.hpp"

#include <format>

#include "ovcore/src/binding/conversions.hpp"
#include "ovcore/src/binding/ext/ovlog/log_callback_py.hpp"
#include "ovcore/src/binding/opaque_loaders.hpp"

namespace ovcore::binding::ext::ovlog {

using ovcore::ext::ovlog::kLogLevelCount;
using ovcore::ext::ovlog::LogCallbackEXT;
using ovcore::ext::ovlog::LogCreateInfoEXT;
using ovcore::ext::ovlog::LogLevelEXT;

namespace {

PyResult<std::unique_ptr<utils::opaque::OpaqueObject>> load_settings(BorrowedRef obj) {
  return std::unique_ptr<utils::opaque::OpaqueObject>(OV_TRY(extract_log_create_info(obj)));
}

constinit InternedName kLevel{"level"};
constinit InternedName kCallback{"callback"};

constexpr PyOpaqueObjectLoadersRegistry kLoaderEntry{"ovpi.api.ext.ovlog.LogCreateInfoEXT", &load_settings};
LoaderList::Node loader_node{&kLoaderEntry};

[[gnu::constructor(OVCORE_LOADER_REGISTRATION_PRIORITY)]] void register_logger_loader() {
  loader_registry().push_front(loader_node);
}

}  // namespace

PyResult<LogLevelEXT> extract_log_level(BorrowedRef obj) {
  const std::uint64_t value = OV_TRY(extract_u64(obj));
  if (value > 0xFFFF'FFFFULL) {
    return std::unexpected(PyError::lazy(PyExc_OverflowError, "out of range integral type conversion attempted"));
  }
  if (value >= kLogLevelCount) {
    return std::unexpected(PyError::lazy(PyExc_ValueError, std::format("Invalid LogLevelEXT value: {}", value)));
  }
  return static_cast<LogLevelEXT>(value);
}

PyResult<std::unique_ptr<LogCreateInfoEXT>> extract_log_create_info(BorrowedRef obj) {
  constexpr const char* kRecord = "LogCreateInfoEXT";
  const LogLevelEXT level = OV_TRY(extract_field(obj, kLevel, kRecord, extract_log_level));
  LogCallbackEXT callback = OV_TRY(extract_field(obj, kCallback, kRecord, extract_log_callback));
  return LogCreateInfoEXT::create(level, std::move(callback));
}

}  // namespace ovcore::binding::ext::ovlog
