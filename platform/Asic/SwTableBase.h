#pragma once
// The software-table framework: the root of every software table, with the
// value types shared by all tables (keys, hardware indices, entry states and
// entry types).
#include <cstdint>
#include <functional>
#include <set>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/Quill/Notifier.h"
#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"

namespace Asic {

// A hardware index. kExhaustedIndex (all ones) stands for "no index" wherever
// an index is stored or returned.
using Index = std::uint32_t;
inline constexpr Index kExhaustedIndex = 0xFFFFFFFF;

class SwTableBase : public Quill::Notifier {
 public:
  // The key of a software-table entry: one unsigned 32-bit number.
  struct Index {
    std::uint32_t value = 0;

    constexpr Index() noexcept = default;
    constexpr Index(std::uint32_t v) noexcept : value(v) {}  // NOLINT(google-explicit-constructor)

    // Key equality for the runtime's generic collections (untyped pointers).
    static bool isEq(const void* a, const void* b) noexcept {
      return static_cast<const Index*>(a)->value == static_cast<const Index*>(b)->value;
    }
    friend constexpr bool operator==(Index a, Index b) noexcept { return a.value == b.value; }
    friend constexpr auto operator<=>(Index a, Index b) noexcept { return a.value <=> b.value; }
    friend std::ostream& operator<<(std::ostream& os, Index i) { return os << i.value; }
    friend std::size_t hash_value(Index i) noexcept { return i.value; }
  };

  // State of an entry or of its resolved (hardware) copy. Values above 6 are
  // invalid; 3 is a framework state no table of this library sets.
  enum class EntryState : std::uint8_t {
    unresolved = 0,
    inProgress = 1,
    indexReconciled = 2,
    state3 = 3,
    success = 4,
    failedNeededEntry = 5,
    indexExhausted = 6,
  };

  // Why a handle exists.
  enum class EntryType : std::uint8_t {
    unassigned = 0,     // a new handle, not marked yet
    referenceOnly = 1,  // other tables refer to the key; no committed entry
    committed = 2,      // the key has a committed entry
    inDeletion = 3,     // the key's hardware entry is being deleted
  };

  class EntryHandle;

  explicit SwTableBase(Quill::String name) : name_(std::move(name)) {}

  const Quill::String& name() const noexcept { return name_; }

  // The hardware index held by a handle of any table (kExhaustedIndex for a
  // null handle or a handle without index).
  static Asic::Index getHwEntryIndex(const Quill::Ptr<const EntryHandle>& handle) noexcept;
  // The hardware index of a needed handle as a dependent table's field takes
  // it (the handle's own hwIndexForDependentField; kExhaustedIndex for null).
  static Asic::Index getHwIndexForDependentField(const Quill::Ptr<const EntryHandle>& handle);
  // Tells a needed handle which indices a dependent table would like its
  // entry to get (the needed table may prefer them).
  static void suggestIndicesToNeededEntryHandle(const Quill::Ptr<const EntryHandle>& handle,
                                                const std::set<Asic::Index>& indices);

 private:
  Quill::String name_;
};

std::string_view entryStateName(SwTableBase::EntryState s) noexcept;
std::string_view entryTypeName(SwTableBase::EntryType t) noexcept;
std::ostream& operator<<(std::ostream& os, SwTableBase::EntryState s);
std::ostream& operator<<(std::ostream& os, SwTableBase::EntryType t);

}  // namespace Asic

template <>
struct std::hash<Asic::SwTableBase::Index> {
  std::size_t operator()(Asic::SwTableBase::Index i) const noexcept { return i.value; }
};
