#include "ovcore/src/ext/ovlog/impl/logger_plugin.hpp"

#include <unistd.h>

#include <format>

#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/ext/registry.hpp"
#include "ovcore/src/utils/write_all.hpp"

namespace ovcore::ext::ovlog {

utils::OvResult<std::unique_ptr<DynPluginEXT>> LogPluginEXT::construct(utils::opaque::OpaqueList& ext) {
  LogLevelEXT threshold = LogLevelEXT::Trace;
  LogCallbackEXT callback;
  if (std::unique_ptr<LogCreateInfoEXT> settings = ext.take_ext<LogCreateInfoEXT>()) {
    threshold = settings->level();
    callback = settings->take_callback();
  }
  return std::unique_ptr<DynPluginEXT>(new LogPluginEXT(threshold, std::move(callback)));
}

void LogPluginEXT::attach_to(base::WeakInstance instance) { instance_ = std::move(instance); }

utils::OvResult<void> LogPluginEXT::initialize() {
  std::shared_ptr<base::InstanceContext> instance = instance_.upgrade();
  if (instance == nullptr) {
    // Instance creation attaches every plug-in before initializing it.
    return std::unexpected(
        utils::OvError::unknown("logger initialized before it was attached"));  // LCOV_EXCL_LINE: instance creation
                                                                                // attaches before it initializes
  }
  instance->set_log_sink(&LogPluginEXT::log_message);
  return {};
}

void LogPluginEXT::log_message(const base::InstanceContext& instance, LogMessageEXT&& message) {
  const auto found = instance.plugins().find(kUuid);
  if (found == instance.plugins().end()) return;
  const auto* self = utils::opaque::downcast_view<LogPluginEXT>(found->second.get());
  if (self == nullptr || message.level < self->threshold_) return;
  if (self->callback_) {
    self->callback_(std::move(message));
    return;
  }
  // Standard output may be closed or full; the logger has no one to tell.
  (void)utils::write_all(STDOUT_FILENO, format_log_line(message));
}

std::string format_log_line(const LogMessageEXT& message) {
  return std::format("[{}] {} - {}\n", message.level, utils::format_timepoint(message.timepoint), message.message);
}

namespace {
constexpr PluginRegistry kLoggerEntry = registry_entry_for<LogPluginEXT>(&LogPluginEXT::construct);
PluginList::Node logger_node{&kLoggerEntry};

[[gnu::constructor(OVCORE_PLUGIN_REGISTRATION_PRIORITY)]] void register_logger_plugin() {
  plugin_registry().push_front(logger_node);
}
}  // namespace

}  // namespace ovcore::ext::ovlog
