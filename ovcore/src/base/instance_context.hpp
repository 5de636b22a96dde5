#pragma once
// The running core instance: identity, plug-ins, modules and the one path by
// which the core delivers log messages (its sink).
//
// Lifetime: `create` returns the only strong reference. Plug-ins get a
// `WeakInstance` while they are attached (before the instance is published,
// so they cannot upgrade yet); they may upgrade it from `initialize` on.
// Releasing the last strong reference runs the teardown in the destructor.

#include <atomic>
#include <expected>
#include <map>
#include <memory>
#include <source_location>
#include <string>
#include <vector>

#include "ovcore/src/base/api.hpp"
#include "ovcore/src/base/module.hpp"
#include "ovcore/src/base/semver.hpp"
#include "ovcore/src/base/weak_instance.hpp"
#include "ovcore/src/ext/ovlog/log_records.hpp"
#include "ovcore/src/ext/plugin.hpp"
#include "ovcore/src/utils/error.hpp"
#include "ovcore/src/utils/reader_writer_lock.hpp"
#include "ovcore/src/utils/uuid.hpp"

namespace ovcore::base {

// Where an instance's log messages go. The sink takes the message over (it
// is the sink's to move from or drop); taking it by reference spares a move
// of the whole record on every message. It may throw utils::FatalError (a
// Python callback that raised); the instance then carries on unwinding.
using LogSink = void (*)(const InstanceContext& context, ext::ovlog::LogMessageEXT&& message);

// The initial sink: drops every message.
void discard_log(const InstanceContext& context, ext::ovlog::LogMessageEXT&& message) noexcept;

class InstanceContext {
 public:
  using PluginMap = std::map<utils::Uuid, std::unique_ptr<ext::DynPluginEXT>>;

  // Builds, attaches and initializes the enabled plug-ins, then reports the
  // creation through the sink. Consumes `create_info` on every path. A failure
  // undoes everything before it returns. Throws utils::FatalError when the sink
  // fails fatally (the instance is torn down by then).
  static utils::OvResult<std::shared_ptr<InstanceContext>> create(api::InstanceCreateInfo create_info);

  // Teardown: the Trace message, then every plug-in removed and torn down in
  // descending UUID order. Never throws: a fatal failure is finished past and
  // handed to utils::stash_fatal (see `release`).
  ~InstanceContext();

  InstanceContext(const InstanceContext&) = delete;
  InstanceContext& operator=(const InstanceContext&) = delete;

  // Replaces the sink under the sink lock, taken exclusively. Must not be
  // called from inside a sink.
  void set_log_sink(LogSink sink);

  // Filled during creation, emptied during teardown, read without a lock in
  // between.
  const PluginMap& plugins() const noexcept { return plugins_; }

  const SemVer& core_version() const noexcept { return core_version_; }
  const std::string& application_name() const noexcept { return application_name_; }
  const SemVer& application_version() const noexcept { return application_version_; }
  const SemVer& engine_version() const noexcept { return engine_version_; }
  const std::string& engine_name() const noexcept { return engine_name_; }
  const std::vector<module::ModuleContext>& modules() const noexcept { return modules_; }

  // "0x" + the address in lowercase hex, as the creation and teardown
  // messages print it.
  std::string address_text() const;

 private:
  friend class WeakInstance;
  InstanceContext(SemVer core_version, api::ApplicationInfo application);
  // Tests log through an instance from threads of their own; the core's
  // own messages are the only others.
  friend class InstanceContextTestPeer;

  // Builds one message (local time now, module "ovcore::base", the caller's
  // source location, the thread's name when the system named it) and hands it
  // to the sink under the sink lock, taken shared for the whole call.
  void emit_log(ext::ovlog::LogLevelEXT level, std::string text,
                std::source_location where = std::source_location::current()) const;
  void emit_creation_report(const std::vector<std::string>& requested) const;

  mutable utils::ReaderWriterLock sink_lock_;
  LogSink sink_ = discard_log;
  SemVer core_version_;
  std::string application_name_;
  SemVer application_version_;
  SemVer engine_version_;
  std::string engine_name_;
  std::vector<module::ModuleContext> modules_;
  PluginMap plugins_;
  // Set once every plug-in is attached; WeakInstance::upgrade fails before.
  std::atomic<bool> published_{false};
};

// Drops `context` (running the teardown when it was the last strong
// reference), then throws the fatal failure that teardown met, if any. That
// holds also when the release happens while another exception unwinds (an
// object released by that unwinding): every failing release reports once.
void release(std::shared_ptr<InstanceContext> context);

}  // namespace ovcore::base
