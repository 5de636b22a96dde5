#pragma once
// The plug-in interfaces. `PluginEXT` is the lifecycle an instance drives;
// `DynPluginEXT` is how an instance holds a plug-in (type identity plus its
// UUID, name and description). A plug-in type states those three as constants
// and derives from `Plugin<Self>`, which provides `DynPluginEXT` from them.

#include <string_view>

#include "ovcore/src/utils/downcast.hpp"
#include "ovcore/src/utils/error.hpp"
#include "ovcore/src/utils/uuid.hpp"

// The instance a plug-in is attached to (base/weak_instance.hpp). Only
// declared here: the interface sits below the instance that drives it.
namespace ovcore::base {
class WeakInstance;
}

namespace ovcore::ext {

class PluginEXT {
 public:
  virtual ~PluginEXT() = default;
  // Called once while the instance is being built: keep the reference; it
  // cannot be upgraded yet.
  virtual void attach_to(base::WeakInstance instance) = 0;
  // Called once the instance is complete; may upgrade the reference.
  virtual utils::OvResult<void> initialize() = 0;
  // Called right before destruction, also for a plug-in that was never
  // attached or initialized.
  virtual void teardown() = 0;
};

class DynPluginEXT : public utils::opaque::Downcastable, public PluginEXT {
 public:
  virtual utils::Uuid uuid() const noexcept = 0;
  virtual std::string_view name() const noexcept = 0;
  virtual std::string_view description() const noexcept = 0;
};

// `class MyPlugin final : public Plugin<MyPlugin>` with
// `static constexpr utils::Uuid kUuid`, `static constexpr std::string_view kName`
// and `kDescription`.
template <class Self>
class Plugin : public utils::opaque::WithTypeId<Self, DynPluginEXT> {
 public:
  utils::Uuid uuid() const noexcept final { return Self::kUuid; }
  std::string_view name() const noexcept final { return Self::kName; }
  std::string_view description() const noexcept final { return Self::kDescription; }
};

}  // namespace ovcore::ext
