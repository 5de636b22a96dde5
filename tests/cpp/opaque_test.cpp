#include "ovcore/src/utils/opaque.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using ovcore::utils::opaque::downcast_owned;
using ovcore::utils::opaque::downcast_shared;
using ovcore::utils::opaque::downcast_view;
using ovcore::utils::opaque::Opaque;
using ovcore::utils::opaque::OpaqueList;
using ovcore::utils::opaque::OpaqueObject;

std::vector<std::string>* destroyed = nullptr;

struct Alpha final : Opaque<Alpha> {
  explicit Alpha(std::string tag) : tag(std::move(tag)) {}
  ~Alpha() override {
    if (destroyed) destroyed->push_back(tag);
  }
  std::string tag;
};
struct Beta final : Opaque<Beta> {
  explicit Beta(std::string tag) : tag(std::move(tag)) {}
  ~Beta() override {
    if (destroyed) destroyed->push_back(tag);
  }
  std::string tag;
};

std::vector<std::string> tags(const OpaqueList& list) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (auto* a = downcast_view<Alpha>(&list[i])) out.push_back(a->tag);
    if (auto* b = downcast_view<Beta>(&list[i])) out.push_back(b->tag);
  }
  return out;
}

OpaqueList make(std::initializer_list<std::pair<char, const char*>> items) {
  OpaqueList list;
  for (auto [kind, tag] : items) {
    if (kind == 'a')
      list.push_back(std::make_unique<Alpha>(tag));
    else
      list.push_back(std::make_unique<Beta>(tag));
  }
  return list;
}

TEST(TakeExt, EmptyOrNoMatchReturnsNothingAndKeepsTheList) {
  OpaqueList empty;
  EXPECT_EQ(empty.take_ext<Alpha>(), nullptr);
  OpaqueList list = make({{'b', "b1"}, {'b', "b2"}});
  EXPECT_EQ(list.take_ext<Alpha>(), nullptr);
  EXPECT_EQ(tags(list), (std::vector<std::string>{"b1", "b2"}));
}

TEST(TakeExt, TakesTheFirstMatchAndKeepsTheOrderOfTheRest) {
  OpaqueList list = make({{'b', "A"}, {'a', "B"}, {'b', "C"}, {'a', "D"}});
  std::unique_ptr<Alpha> first = list.take_ext<Alpha>();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->tag, "B");
  EXPECT_EQ(tags(list), (std::vector<std::string>{"A", "C", "D"}));
  EXPECT_EQ(list.take_ext<Alpha>()->tag, "D");
  EXPECT_EQ(list.take_ext<Alpha>(), nullptr);
  EXPECT_EQ(tags(list), (std::vector<std::string>{"A", "C"}));
}

TEST(TakeExt, UntakenObjectsAreDestroyedFirstToLast) {
  std::vector<std::string> log;
  destroyed = &log;
  {
    OpaqueList list = make({{'a', "1"}, {'b', "2"}, {'a', "3"}});
    auto taken = list.take_ext<Beta>();
    taken.reset();
  }
  destroyed = nullptr;
  EXPECT_EQ(log, (std::vector<std::string>{"2", "1", "3"}));
}

TEST(Downcast, IdentityDecidesAndAFailedOwnedDowncastGivesTheObjectBack) {
  std::unique_ptr<OpaqueObject> object = std::make_unique<Alpha>("x");
  OpaqueObject* raw = object.get();
  EXPECT_TRUE(object->is<Alpha>());
  EXPECT_FALSE(object->is<Beta>());
  EXPECT_NE(object->type_id(), Beta("y").type_id());

  auto wrong = downcast_owned<Beta>(std::move(object));
  ASSERT_FALSE(wrong.has_value());
  EXPECT_EQ(wrong.error().get(), raw);  // same object, not a copy
  auto right = downcast_owned<Alpha>(std::move(wrong.error()));
  ASSERT_TRUE(right.has_value());
  EXPECT_EQ(right->get(), raw);

  std::shared_ptr<OpaqueObject> shared = std::move(*right);
  EXPECT_EQ(downcast_shared<Beta>(shared), nullptr);
  EXPECT_EQ(downcast_shared<Alpha>(shared).get(), raw);
  EXPECT_EQ(downcast_view<Beta>(shared.get()), nullptr);
}

}  // namespace
