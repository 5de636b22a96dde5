#pragma once
// A lock-free, prepend-only list of static entries. Load-time constructors
// link their nodes at the front with compare-and-swap; readers walk it without
// a lock, newest entry first. Nodes are never removed.

#include <atomic>
#include <cstddef>
#include <iterator>

namespace ovcore::utils {

template <class Entry>
class StaticList {
 public:
  struct Node {
    const Entry* entry;
    Node* next = nullptr;
  };

  class iterator {
   public:
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    explicit iterator(const Node* node) : node_(node) {}
    const Entry& operator*() const { return *node_->entry; }
    const Entry* operator->() const { return node_->entry; }
    iterator& operator++() {
      node_ = node_->next;
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const iterator&) const = default;

   private:
    const Node* node_ = nullptr;
  };

  constexpr StaticList() = default;
  StaticList(const StaticList&) = delete;
  StaticList& operator=(const StaticList&) = delete;

  // Links `node` at the front. `node` must outlive the list.
  void push_front(Node& node) noexcept {
    Node* head = head_.load(std::memory_order_relaxed);
    do {
      node.next = head;
    } while (!head_.compare_exchange_weak(head, &node, std::memory_order_release, std::memory_order_relaxed));
  }

  iterator begin() const noexcept { return iterator(head_.load(std::memory_order_acquire)); }
  iterator end() const noexcept { return iterator(); }

 private:
  std::atomic<Node*> head_{nullptr};
};

}  // namespace ovcore::utils
