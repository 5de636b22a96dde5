#pragma once
// What a plug-in keeps of its instance: a reference that never keeps the
// instance alive. It can be upgraded only while the instance is complete and
// held by its owner -- not while plug-ins are still being attached, and not
// once teardown has begun.

#include <memory>

namespace ovcore::base {

class InstanceContext;

class WeakInstance {
 public:
  WeakInstance() = default;

  // A strong reference, or empty when the instance cannot be shared now.
  std::shared_ptr<InstanceContext> upgrade() const;

 private:
  friend class InstanceContext;
  explicit WeakInstance(std::weak_ptr<InstanceContext> context) : context_(std::move(context)) {}

  std::weak_ptr<InstanceContext> context_;
};

}  // namespace ovcore::base
