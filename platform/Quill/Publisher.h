#pragma once
// Change publication.
//
// Every node that publishes attributes owns a Publisher. A change is announced
// with its field id (the attribute id), a pointer to the key that changed (null
// for a single-valued attribute) and, for recursive publication, a pointer to
// the value held before the change plus the key equality of the collection.
// Observers receive the change synchronously, on the publishing thread, before
// the publisher releases the previous value; the pointers are valid only for
// the duration of the call.
//
// A publisher nobody observes is idle: its only state is one null pointer
// (every handle has a publisher, so it costs one word), which publication
// and bulk removals test (idle()) to skip all work.
#include <cstdint>
#include <memory>
#include <vector>

namespace Quill {

using FieldId = std::uint32_t;
using KeyEq = bool (*)(const void*, const void*);

struct Change {
  FieldId field = 0;
  const void* key = nullptr;
  const void* previous = nullptr;  // null for publishChange
  KeyEq keyEq = nullptr;
  bool recursive = false;
};

class Observer {
 public:
  virtual ~Observer() = default;
  virtual void onChange(const Change& change) = 0;
};

class Publisher {
 public:
  Publisher() noexcept = default;
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;
  ~Publisher();

  bool idle() const noexcept { return observers_ == nullptr; }
  std::size_t observerCount() const noexcept;

  // Registering the same observer twice is a no-op; removing an observer that
  // is not registered is a no-op. Observers may register and unregister (also
  // themselves) from inside onChange; a removed observer receives no further
  // call, an added one sees the next change.
  void observerIs(Observer* observer);
  void observerDel(Observer* observer) noexcept;

  void publishChange(FieldId field, const void* key) const {
    if (!idle()) deliver(Change{field, key, nullptr, nullptr, false});
  }
  void publishChangeRecursive(FieldId field, const void* key, const void* previous,
                              KeyEq keyEq) const {
    if (!idle()) deliver(Change{field, key, previous, keyEq, true});
  }

 private:
  struct Observers {
    std::vector<Observer*> list;
    unsigned delivering = 0;
  };
  void deliver(const Change& change) const;
  void compact() const noexcept;

  // Null while idle. During a delivery removed observers are nulled in place
  // and compacted away when the outermost delivery ends.
  mutable std::unique_ptr<Observers> observers_;
};

}  // namespace Quill
