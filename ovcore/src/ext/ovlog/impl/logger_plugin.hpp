#pragma once
// The logger extension. Once initialized it is its instance's log sink:
// messages below the threshold are dropped, the rest go to the callback, or
// to standard output as one line when there is no callback.

#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "ovcore/src/base/weak_instance.hpp"
#include "ovcore/src/ext/ovlog/log_records.hpp"
#include "ovcore/src/ext/plugin.hpp"
#include "ovcore/src/utils/opaque.hpp"

namespace ovcore::base {
class InstanceContext;
}

namespace ovcore::ext::ovlog {

class LogPluginEXT final : public Plugin<LogPluginEXT> {
 public:
  static constexpr utils::Uuid kUuid = utils::Uuid::literal("20189b61-7279-46fa-9ba2-5f0360bf5b51");
  static constexpr std::string_view kName = "__EXT_orvantis_logger";
  static constexpr std::string_view kDescription = "Orvantis Logger Extension";

  // The registry's constructor: takes the first LogCreateInfoEXT out of
  // `ext`; without one the threshold is Trace and lines go to standard output.
  static utils::OvResult<std::unique_ptr<DynPluginEXT>> construct(utils::opaque::OpaqueList& ext);

  void attach_to(base::WeakInstance instance) override;
  utils::OvResult<void> initialize() override;
  void teardown() override {}

  // The sink this plug-in installs. Finds the logger in the instance's
  // plug-ins, filters, then calls the callback or prints.
  static void log_message(const base::InstanceContext& instance, LogMessageEXT&& message);

  LogLevelEXT threshold() const noexcept { return threshold_; }
  bool has_callback() const noexcept { return static_cast<bool>(callback_); }

 private:
  LogPluginEXT(LogLevelEXT threshold, LogCallbackEXT callback)
      : threshold_(threshold), callback_(std::move(callback)) {}

  LogLevelEXT threshold_;
  LogCallbackEXT callback_;  // empty: print to standard output
  base::WeakInstance instance_;
};

// "[" + level + "] " + timepoint + " - " + text + "\n".
std::string format_log_line(const LogMessageEXT& message);

}  // namespace ovcore::ext::ovlog
