#pragma once
// What the C++ tests may do to an instance beyond its public interface: log
// through it, from any thread, as the core's own code does.

#include <source_location>
#include <string>

#include "ovcore/src/base/instance_context.hpp"

namespace ovcore::base {

class InstanceContextTestPeer {
 public:
  static void emit_log(const InstanceContext& context, ext::ovlog::LogLevelEXT level, std::string text,
                       std::source_location where = std::source_location::current()) {
    context.emit_log(level, std::move(text), where);
  }
};

}  // namespace ovcore::base

namespace ovtest {
using LogThrough = ovcore::base::InstanceContextTestPeer;
}  // namespace ovtest
