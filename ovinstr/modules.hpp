#pragma once
// The instruction representation: functions made of basic blocks of
// instructions. Only the containment tree is fixed; the instruction kinds and
// their operands grow with the analyses that use them.
//
// Scaffolding: nothing fills or reads these containers yet. An instance
// keeps them for code it does not run today; they are here so that the
// instance's shape is settled before that code comes.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ovinstr::modules {

struct Label {
  std::uint32_t value = 0;
  auto operator<=>(const Label&) const = default;
};

struct Name {
  std::uint64_t value = 0;
  auto operator<=>(const Name&) const = default;
};

struct InstructionRef {
  std::uint32_t value = 0;
  auto operator<=>(const InstructionRef&) const = default;
};

// Instruction kinds; some operands own lists of 4-byte items.
struct OvInstr {
  struct Nop {};
  struct Call {
    std::uint32_t callee = 0;
    std::vector<std::uint32_t> arguments;
  };
  std::variant<Nop, Call> kind;
};

// Block terminators; some own a list of 4-byte items.
struct OvTerminator {
  struct Return {};
  struct Branch {
    Label target;
  };
  struct Switch {
    std::vector<std::uint32_t> targets;
  };
  std::variant<Return, Branch, Switch> kind;
};

struct BasicBlock {
  std::vector<OvInstr> instructions;
  OvTerminator terminator;
};

struct Parameter {
  std::uint32_t type = 0;
  std::uint32_t flags = 0;
};

struct Function {
  std::optional<std::string> name;
  std::vector<Parameter> parameters;
  std::map<Label, BasicBlock> blocks;
  std::map<std::uint32_t, std::uint32_t> attributes;
};

}  // namespace ovinstr::modules
