#include "ovcore/src/base/instance_context.hpp"

#include <charconv>
#include <cstdint>
#include <exception>
#include <format>
#include <iterator>
#include <mutex>
#include <shared_mutex>

#include "ovcore/src/base/build_info.hpp"
#include "ovcore/src/ext/registry.hpp"
#include "ovcore/src/utils/concat.hpp"
#include "ovcore/src/utils/fatal.hpp"
#include "ovcore/src/utils/list_literal.hpp"
#include "ovcore/src/utils/named_thread.hpp"

namespace ovcore::base {

using ext::ovlog::LogLevelEXT;
using ext::ovlog::LogMessageEXT;

// The message is left to its owner, who destroys it right after.
void discard_log(const InstanceContext&, LogMessageEXT&&) noexcept {}

std::shared_ptr<InstanceContext> WeakInstance::upgrade() const {
  std::shared_ptr<InstanceContext> strong = context_.lock();
  if (strong != nullptr && !strong->published_.load(std::memory_order_acquire)) return nullptr;
  return strong;
}

InstanceContext::InstanceContext(SemVer core_version, api::ApplicationInfo application)
    : core_version_(std::move(core_version)),
      application_name_(std::move(application.application_name)),
      application_version_(api::to_semver(application.application_version)),
      engine_version_(api::to_semver(application.engine_version)),
      engine_name_(std::move(application.engine_name)) {}

utils::OvResult<std::shared_ptr<InstanceContext>> InstanceContext::create(api::InstanceCreateInfo create_info) {
  const BuildInfo& build = build_info();

  // Assembling: not shared yet. Dropping `assembling` on a failure runs the
  // teardown with the discarding sink, so nothing is logged.
  auto assembling = std::unique_ptr<InstanceContext>(
      new InstanceContext(build.package_info.version, std::move(create_info.application_info)));
  auto fail_assembling = [&](utils::OvError error) {
    utils::FatalCollector collector;
    assembling.reset();
    collector.rethrow_if_any();
    return std::unexpected(std::move(error));
  };
  for (const std::string& name : create_info.enabled_extensions) {
    const ext::PluginRegistry* entry = ext::find_plugin(name);
    if (entry == nullptr) return fail_assembling(utils::OvError::plugin_not_found(name));
    auto plugin = entry->constructor(create_info.ext);
    if (!plugin) return fail_assembling(std::move(plugin.error()));
    const utils::Uuid uuid = (*plugin)->uuid();
    // A plug-in with the same UUID is replaced and destroyed without teardown.
    assembling->plugins_.insert_or_assign(uuid, std::move(*plugin));
  }

  // The shared allocation exists from here on, but the instance is not
  // published: plug-ins being attached cannot upgrade their references.
  std::shared_ptr<InstanceContext> context(std::move(assembling));
  for (auto& [uuid, plugin] : context->plugins_) plugin->attach_to(WeakInstance(context));
  context->published_.store(true, std::memory_order_release);

  for (auto& [uuid, plugin] : context->plugins_) {
    if (auto initialized = plugin->initialize(); !initialized) {
      utils::OvError error = std::move(initialized.error());
      release(std::move(context));
      return std::unexpected(std::move(error));
    }
  }
  context->emit_creation_report(create_info.enabled_extensions);
  return context;
}

namespace {

constexpr std::string_view kModulePath = "ovcore::base";

// Messages 4 and 5 of the creation report depend only on the build, so they
// are formatted once per process.
struct BuildReport {
  std::string version_line;
  std::string commit_line;
};

const BuildReport& build_report() {
  static const BuildReport report = [] {
    const BuildInfo& build = build_info();
    const std::optional<GitInfo>& git = build.version_control;
    return BuildReport{
        std::format("ovcore version: v{} (features: {}) -- {} {}", build.package_info.version,
                    utils::list_literal(build.package_info.enabled_features), build.target.triple, build.profile),
        std::format("built from commit {}..{} on branch '{}'", git ? git->commit_short_id : std::string("00000000"),
                    git && git->dirty ? " (dirty)" : "", git && git->branch ? *git->branch : std::string("<unnamed>")),
    };
  }();
  return report;
}

}  // namespace

void InstanceContext::emit_creation_report(const std::vector<std::string>& requested) const {
  // Plain concatenation: these run for every instance and need no
  // formatting, only joining.
  emit_log(LogLevelEXT::Trace, utils::concat({"Instance created successfully at ", address_text()}));
  emit_log(LogLevelEXT::Info,
           utils::concat({"Application '", application_name_, "' v", application_version_.to_string(),
                          " using engine '", engine_name_, "' v", engine_version_.to_string()}));
  emit_log(LogLevelEXT::Info, utils::concat({"Loaded ", std::to_string(plugins_.size()),
                                             " extensions: ", utils::list_literal(requested)}));
  const BuildReport& report = build_report();
  emit_log(LogLevelEXT::Info, report.version_line);
  emit_log(LogLevelEXT::Info, report.commit_line);
}

InstanceContext::~InstanceContext() {
  // Every step runs even when an earlier one failed fatally; the first
  // failure is kept for `release`.
  std::exception_ptr failure;
  auto step = [&failure](auto&& run) noexcept {
    try {
      run();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  step([&] { emit_log(LogLevelEXT::Trace, utils::concat({"Tearing down InstanceContext at ", address_text()})); });
  while (!plugins_.empty()) {
    // Removed from the map before its teardown, destroyed right after.
    PluginMap::node_type last = plugins_.extract(std::prev(plugins_.end()));
    step([&] { last.mapped()->teardown(); });
  }
  modules_.clear();
  if (failure) utils::stash_fatal(std::move(failure));
}

void InstanceContext::emit_log(LogLevelEXT level, std::string text, std::source_location where) const {
  LogMessageEXT message(level, utils::now_local(), std::move(text), kModulePath, where.file_name(), where.line(),
                        utils::current_thread_name());
  std::shared_lock lock(sink_lock_);
  sink_(*this, std::move(message));
}

void InstanceContext::set_log_sink(LogSink sink) {
  std::unique_lock lock(sink_lock_);
  sink_ = sink;
}

std::string InstanceContext::address_text() const {
  char digits[2 + 2 * sizeof(std::uintptr_t)] = {'0', 'x'};
  const auto [end, ec] = std::to_chars(digits + 2, std::end(digits), reinterpret_cast<std::uintptr_t>(this), 16);
  return std::string(digits, end);
}

void release(std::shared_ptr<InstanceContext> context) {
  utils::FatalCollector collector;
  context.reset();
  collector.rethrow_if_any();
}

}  // namespace ovcore::base
