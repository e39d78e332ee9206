#pragma once
// Quill::Ptr<T>: a counted reference to a runtime node (T derives from
// Quill::Node, possibly const-qualified). Taking a Ptr takes a use; dropping
// it drops the use, which may end the node (see Node.h).
#include <compare>
#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>

#include "platform/Quill/Node.h"

namespace Quill {

template <class T>
class Ptr {
 public:
  using element_type = T;

  Ptr() noexcept = default;
  Ptr(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
  explicit Ptr(T* node) noexcept : node_(node) { take(); }
  Ptr(const Ptr& other) noexcept : node_(other.node_) { take(); }
  Ptr(Ptr&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}
  template <class U>
    requires std::is_convertible_v<U*, T*>
  Ptr(const Ptr<U>& other) noexcept : node_(other.get()) {  // NOLINT
    take();
  }
  template <class U>
    requires std::is_convertible_v<U*, T*>
  Ptr(Ptr<U>&& other) noexcept : node_(other.release()) {}  // NOLINT
  ~Ptr() { drop(); }

  // Assignment takes the new use before it drops the old one, so assigning a
  // pointer to the node it already holds is safe.
  // NOLINTNEXTLINE(bugprone-unhandled-self-assignment): copy-and-swap, which the check misses in a template
  Ptr& operator=(const Ptr& other) noexcept {
    Ptr(other).swap(*this);
    return *this;
  }
  Ptr& operator=(Ptr&& other) noexcept {
    Ptr(std::move(other)).swap(*this);
    return *this;
  }
  Ptr& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  T* get() const noexcept { return node_; }
  T* operator->() const noexcept { return node_; }
  T& operator*() const noexcept { return *node_; }
  explicit operator bool() const noexcept { return node_ != nullptr; }

  void reset() noexcept { Ptr().swap(*this); }
  void swap(Ptr& other) noexcept { std::swap(node_, other.node_); }
  // Gives up ownership of the use without dropping it.
  T* release() noexcept { return std::exchange(node_, nullptr); }

  template <class U>
  bool operator==(const Ptr<U>& other) const noexcept {
    return node_ == other.get();
  }
  bool operator==(std::nullptr_t) const noexcept { return node_ == nullptr; }

 private:
  void take() noexcept {
    if (node_ != nullptr) node_->incUse();
  }
  void drop() noexcept {
    if (auto* node = std::exchange(node_, nullptr)) node->decUse();
  }

  T* node_ = nullptr;
};

template <class T, class U>
Ptr<T> ptrDynamicCast(const Ptr<U>& p) {
  return Ptr<T>(dynamic_cast<T*>(p.get()));
}

}  // namespace Quill

template <class T>
struct std::hash<Quill::Ptr<T>> {
  std::size_t operator()(const Quill::Ptr<T>& p) const noexcept { return std::hash<T*>()(p.get()); }
};
