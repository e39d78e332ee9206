#pragma once
// The iterators of the runtime's generic interface (GenericIf.h). A type's
// genericIfIterator hands out an Iter over a collection, view or queue
// attribute: the iterator's storage together with its table of operations
// (IterOps), which yield each step's key and value as Values. UniqueIter owns
// one and deletes it when it goes.
#include <utility>

#include "platform/Quill/GenericValue.h"

namespace Quill::Inspect {

// The operations of an iterator, in this order.
struct IterOps {
  bool (*iterObj)(void* it, Value& out);  // copies out the current value; false when none
  void (*iterKey)(void* it, Value& out);  // writes the current key
  bool (*iterNonnull)(void* it);          // true while not at the end
  void (*iterInc)(void* it);              // steps
  void (*iterDel)(void* it);              // destroys the iterator, frees its storage
};

// A raw iterator: its storage and its operations. Null when none was made.
struct Iter {
  void* it = nullptr;
  const IterOps* ops = nullptr;
  explicit operator bool() const noexcept { return it != nullptr; }
};

// Owns a raw iterator and deletes it (iterDel) when it goes.
class UniqueIter {
 public:
  UniqueIter() = default;
  explicit UniqueIter(Iter it) noexcept : it_(it) {}
  UniqueIter(UniqueIter&& other) noexcept : it_(std::exchange(other.it_, Iter{})) {}
  UniqueIter& operator=(UniqueIter&& other) noexcept {
    UniqueIter(std::move(other)).swap(*this);
    return *this;
  }
  ~UniqueIter() {
    if (it_) it_.ops->iterDel(it_.it);
  }
  void swap(UniqueIter& other) noexcept { std::swap(it_, other.it_); }

  explicit operator bool() const noexcept { return static_cast<bool>(it_); }
  const Iter& raw() const noexcept { return it_; }

  bool nonnull() const { return it_ && it_.ops->iterNonnull(it_.it); }
  bool obj(Value& out) const { return it_.ops->iterObj(it_.it, out); }
  Value key() const {
    Value k;
    it_.ops->iterKey(it_.it, k);
    return k;
  }
  void inc() const { it_.ops->iterInc(it_.it); }

 private:
  Iter it_;
};

}  // namespace Quill::Inspect
