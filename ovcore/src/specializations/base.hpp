#pragma once
// A module's specialised functions: each with the data that describes it and
// acceleration structures built on first use.
//
// Scaffolding: nothing fills or reads these containers yet. An instance
// keeps them for code it does not run today; they are here so that the
// instance's shape is settled before that code comes.

#include <cstdint>
#include <map>
#include <vector>

#include "ovcore/src/utils/lazy.hpp"
#include "ovinstr/modules.hpp"

namespace ovcore::specializations::base {

struct SpecializationAccelerationStructures {
  std::vector<std::uint64_t> first;
  std::vector<std::uint64_t> second;
  std::map<std::uint64_t, std::uint64_t> index;
};

struct Specialization {
  ovinstr::modules::Function function;
  std::vector<std::uint64_t> constants;
  std::vector<std::uint64_t> bindings;
  utils::lazy::LazyContainer<SpecializationAccelerationStructures> acceleration;
};

}  // namespace ovcore::specializations::base
