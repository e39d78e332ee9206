#pragma once
// Kiv::Optional<T>: a value followed by a one-byte presence flag. Destroying
// or resetting a present optional first clears the flag, then destroys the
// value, so code that runs inside T's destructor already sees it absent.
#include <new>
#include <type_traits>
#include <utility>

#include "platform/Assert/Assert.h"

namespace Kiv {

template <class T>
class Optional {
 public:
  Optional() noexcept {}  // NOLINT(modernize-use-equals-default): deleted for a T with a constructor in the union
  Optional(const T& value) : present_(true) { new (&value_) T(value); }  // NOLINT
  Optional(T&& value) : present_(true) { new (&value_) T(std::move(value)); }  // NOLINT
  Optional(const Optional& other) {
    if (other.present_) {
      new (&value_) T(other.value_);
      present_ = true;
    }
  }
  Optional(Optional&& other) noexcept(std::is_nothrow_move_constructible_v<T>) {
    if (other.present_) {
      new (&value_) T(std::move(other.value_));
      present_ = true;
    }
  }
  ~Optional() { reset(); }

  Optional& operator=(const Optional& other) {
    if (this != &other) {
      if (other.present_) {
        valueIs(other.value_);
      } else {
        reset();
      }
    }
    return *this;
  }
  Optional& operator=(Optional&& other) noexcept(std::is_nothrow_move_assignable_v<T> &&
                                                 std::is_nothrow_move_constructible_v<T>) {
    if (this != &other) {
      if (other.present_) {
        valueIs(std::move(other.value_));
      } else {
        reset();
      }
    }
    return *this;
  }

  bool present() const noexcept { return present_; }
  explicit operator bool() const noexcept { return present_; }

  const T& value() const noexcept {
    QASSERT(present_);
    return value_;
  }
  T& value() noexcept {
    QASSERT(present_);
    return value_;
  }
  const T* operator->() const noexcept { return &value(); }
  T* operator->() noexcept { return &value(); }
  const T& operator*() const noexcept { return value(); }

  template <class U>
  void valueIs(U&& value) {
    if (present_) {
      value_ = std::forward<U>(value);
    } else {
      new (&value_) T(std::forward<U>(value));
      present_ = true;
    }
  }

  void reset() noexcept {
    if (present_) {
      present_ = false;
      value_.~T();
    }
  }

 private:
  union {
    T value_;
  };
  bool present_ = false;
};

// Both absent, or both present with equal values.
template <class T>
bool operator==(const Optional<T>& a, const Optional<T>& b) {
  if (a.present() != b.present()) return false;
  return !a.present() || a.value() == b.value();
}

}  // namespace Kiv
