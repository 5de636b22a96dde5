#include "ovcore/src/ext/registry.hpp"

namespace ovcore::ext {
namespace {
constinit PluginList registry;
}  // namespace

PluginList& plugin_registry() noexcept { return registry; }

const PluginRegistry* find_plugin(std::string_view name) noexcept {
  for (const PluginRegistry& entry : registry) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

}  // namespace ovcore::ext
