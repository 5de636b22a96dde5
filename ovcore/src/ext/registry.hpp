#pragma once
// The process-wide extension registry: static entries linked in at load time
// (before any Python code runs), looked up by exact name, newest first.

#include <expected>
#include <memory>
#include <string_view>

#include "ovcore/src/ext/plugin.hpp"
#include "ovcore/src/utils/load_order.hpp"
#include "ovcore/src/utils/opaque.hpp"
#include "ovcore/src/utils/static_list.hpp"

namespace ovcore::ext {

using PluginConstructor = utils::OvResult<std::unique_ptr<DynPluginEXT>> (*)(utils::opaque::OpaqueList&);

struct PluginRegistry {
  std::string_view name;
  std::string_view description;
  PluginConstructor constructor;
  utils::Uuid uuid;
};

using PluginList = utils::StaticList<PluginRegistry>;

PluginList& plugin_registry() noexcept;

// The first entry, newest first, whose name equals `name` byte for byte.
const PluginRegistry* find_plugin(std::string_view name) noexcept;

// The registry entry of a plug-in type, from its constants.
template <class P>
constexpr PluginRegistry registry_entry_for(PluginConstructor constructor) {
  return PluginRegistry{P::kName, P::kDescription, constructor, P::kUuid};
}

}  // namespace ovcore::ext
