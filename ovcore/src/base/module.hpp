#pragma once
// Per-module state an instance keeps for code in the instruction
// representation. Ownership is strict containment; maps keyed by UUID order
// by unsigned bytes.
//
// Scaffolding: nothing fills or reads these containers yet. An instance
// keeps them for code it does not run today; they are here so that the
// instance's shape is settled before that code comes.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "ovcore/src/specializations/base.hpp"
#include "ovcore/src/utils/uuid.hpp"
#include "ovinstr/modules.hpp"

namespace ovcore::base::module {

struct ModuleEntry {
  std::string text;
  std::vector<utils::Uuid> references;
  std::uint64_t flags = 0;
};

struct FunctionContext {
  struct Region {
    std::vector<std::uint64_t> items;
  };
  std::unordered_set<std::uint32_t> live;
  std::vector<Region> regions;
  std::unordered_set<std::uint32_t> visited;
  std::vector<std::array<std::uint8_t, 16>> slots;
  std::map<ovinstr::modules::Name, ovinstr::modules::InstructionRef> names;
};

// Destroying a module empties its four maps in declaration order (member
// destruction would run in reverse, so the destructor is explicit).
struct ModuleContext {
  std::array<std::uint8_t, 16> id{};
  std::map<utils::Uuid, ovinstr::modules::Function> functions;
  std::map<utils::Uuid, ModuleEntry> entries;
  std::map<utils::Uuid, FunctionContext> function_contexts;
  std::map<utils::Uuid, specializations::base::Specialization> specializations;

  ModuleContext() = default;
  ModuleContext(ModuleContext&&) noexcept = default;
  ModuleContext& operator=(ModuleContext&&) noexcept = default;
  ~ModuleContext() {
    functions.clear();
    entries.clear();
    function_contexts.clear();
    specializations.clear();
  }
};

}  // namespace ovcore::base::module
