#pragma once
// Type identity plus checked downcasts for type-erased objects. A base that
// derives from `Downcastable` reports its concrete type; the helpers below
// turn an owned pointer, a shared pointer or a view back into the concrete
// type when (and only when) the identities match. Nothing is copied.

#include <expected>
#include <memory>
#include <typeindex>
#include <typeinfo>

#include "ovcore/src/utils/result.hpp"

namespace ovcore::utils::opaque {

using TypeId = std::type_index;

template <class T>
TypeId type_id_of() noexcept {
  return TypeId(typeid(T));
}

class Downcastable {
 public:
  virtual ~Downcastable() = default;
  // Identity of the concrete type: equal for equal types, different otherwise.
  virtual TypeId type_id() const noexcept = 0;

  template <class T>
  bool is() const noexcept {
    return type_id() == type_id_of<T>();
  }

 protected:
  Downcastable() = default;
  Downcastable(const Downcastable&) = default;
  Downcastable& operator=(const Downcastable&) = default;
};

// A view of `object` as T, or nullptr when it is not a T.
template <class T, class Base>
T* downcast_view(Base* object) noexcept {
  return object != nullptr && object->template is<T>() ? static_cast<T*>(object) : nullptr;
}
template <class T, class Base>
const T* downcast_view(const Base* object) noexcept {
  return object != nullptr && object->template is<T>() ? static_cast<const T*>(object) : nullptr;
}

// Ownership moves to the result on a match; on a mismatch the object comes
// back unchanged as the error. Must be used: a dropped result destroys the
// object either way.
template <class T, class Base>
Result<std::unique_ptr<T>, std::unique_ptr<Base>> downcast_owned(std::unique_ptr<Base> object) noexcept {
  if (object == nullptr || !object->template is<T>()) return std::unexpected(std::move(object));
  return std::unique_ptr<T>(static_cast<T*>(object.release()));
}

// A shared pointer to the same object as T (sharing ownership), or empty.
template <class T, class Base>
std::shared_ptr<T> downcast_shared(const std::shared_ptr<Base>& object) noexcept {
  if (object == nullptr || !object->template is<T>()) return nullptr;
  return std::static_pointer_cast<T>(object);
}

// Gives a concrete type its identity once, for every type-erased base.
template <class Self, class Base>
class WithTypeId : public Base {
 public:
  using Base::Base;
  TypeId type_id() const noexcept final { return type_id_of<Self>(); }
};

}  // namespace ovcore::utils::opaque
