#pragma once
// Type-erased, owned settings objects and the ordered list that carries them
// into instance creation. Each extension takes out the object of its own type.

#include <memory>
#include <vector>

#include "ovcore/src/utils/downcast.hpp"

namespace ovcore::utils::opaque {

class OpaqueObject : public Downcastable {
 public:
  OpaqueObject(const OpaqueObject&) = delete;
  OpaqueObject& operator=(const OpaqueObject&) = delete;

 protected:
  OpaqueObject() = default;
};

// Concrete settings types derive from this: `class X final : public Opaque<X>`.
template <class Self>
using Opaque = WithTypeId<Self, OpaqueObject>;

class OpaqueList {
 public:
  OpaqueList() = default;
  explicit OpaqueList(std::vector<std::unique_ptr<OpaqueObject>> items) : items_(std::move(items)) {}
  OpaqueList(OpaqueList&&) noexcept = default;
  OpaqueList& operator=(OpaqueList&& other) noexcept {
    clear();
    items_ = std::move(other.items_);
    return *this;
  }
  ~OpaqueList() { clear(); }

  void push_back(std::unique_ptr<OpaqueObject> object) { items_.push_back(std::move(object)); }
  std::size_t size() const noexcept { return items_.size(); }
  bool empty() const noexcept { return items_.empty(); }
  const OpaqueObject& operator[](std::size_t i) const noexcept { return *items_[i]; }

  // Removes the first object of type T (the rest keep their order) and returns
  // it; returns nullptr and leaves the list unchanged when none is a T.
  template <class T>
  std::unique_ptr<T> take_ext() {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (!(*it)->template is<T>()) continue;
      std::unique_ptr<OpaqueObject> taken = std::move(*it);
      items_.erase(it);
      return *downcast_owned<T>(std::move(taken));  // cannot fail: identity checked above
    }
    return nullptr;
  }

 private:
  // Objects are destroyed first to last, the order in which they were given.
  void clear() noexcept {
    for (auto& item : items_) item.reset();
    items_.clear();
  }

  std::vector<std::unique_ptr<OpaqueObject>> items_;
};

}  // namespace ovcore::utils::opaque
