#pragma once
// The value record of the local DVP table.
//
// An Entry names the needed entry of another table (the local port's next
// hop) by its entry handle, carries that entry's hardware index once the table
// has resolved it, and the DVP network group to program. Equality, ordering
// and hashing look at the handle node and the group only: localPortNextHop is
// derived from the handle, so two entries that differ only there are the same
// configuration.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "platform/Asic/EntryBase.h"
#include "platform/Asic/EntryHandle.h"
#include "platform/Kiv/CharRange.h"
#include "platform/Quill/Ptr.h"

namespace VelarL3Vfi {

class LocalDvpTableEntry : public Asic::EntryBase {
 public:
  using HandlePtr = Quill::Ptr<const Asic::SwTableBase::EntryHandle>;

  static constexpr const char* kTypeName = "VelarL3Vfi::LocalDvpTable::Entry";
  // Type constants.
  static constexpr bool getBlockSizeDefinedByUser = false;
  static constexpr std::uint64_t numDependentFields = 1;

  LocalDvpTableEntry() noexcept = default;
  LocalDvpTableEntry(HandlePtr handle, std::uint8_t group, std::uint32_t nextHop = 0) noexcept
      : localPortNextHopHandle_(std::move(handle)), localPortNextHop_(nextHop),
        dvpNetworkGroup_(group) {}
  // Decodes the text form (see writeStrep); raises the codec's errors.
  explicit LocalDvpTableEntry(Kiv::CharRange& in);

  LocalDvpTableEntry(const LocalDvpTableEntry&) noexcept = default;
  LocalDvpTableEntry(LocalDvpTableEntry&&) noexcept = default;
  LocalDvpTableEntry& operator=(const LocalDvpTableEntry&) noexcept = default;
  LocalDvpTableEntry& operator=(LocalDvpTableEntry&&) noexcept = default;
  ~LocalDvpTableEntry() override = default;

  const HandlePtr& localPortNextHopHandle() const noexcept { return localPortNextHopHandle_; }
  void localPortNextHopHandleIs(HandlePtr handle) noexcept {
    localPortNextHopHandle_ = std::move(handle);
  }
  std::uint32_t localPortNextHop() const noexcept { return localPortNextHop_; }
  void localPortNextHopIs(std::uint32_t index) noexcept { localPortNextHop_ = index; }
  std::uint8_t dvpNetworkGroup() const noexcept { return dvpNetworkGroup_; }
  void dvpNetworkGroupIs(std::uint8_t group) noexcept { dvpNetworkGroup_ = group; }

  // Equality of two entries given as untyped pointers (generic collections).
  static bool isEq(const void* a, const void* b) noexcept;
  friend bool operator==(const LocalDvpTableEntry& a, const LocalDvpTableEntry& b) noexcept {
    return isEq(&a, &b);
  }
  friend std::strong_ordering operator<=>(const LocalDvpTableEntry& a,
                                          const LocalDvpTableEntry& b) noexcept;

  // A handle or a non-zero group; localPortNextHop alone does not count.
  bool isNonDefault() const noexcept { return localPortNextHopHandle_ || dvpNetworkGroup_ != 0; }

  std::size_t hash(std::size_t seed = 0) const noexcept;

  void writeStrep(Kiv::StrepWriter& out) const;
  std::string toStrep() const;

 private:
  HandlePtr localPortNextHopHandle_;
  std::uint32_t localPortNextHop_ = 0;
  std::uint8_t dvpNetworkGroup_ = 0;
};

std::ostream& operator<<(std::ostream& os, const LocalDvpTableEntry& e);

}  // namespace VelarL3Vfi

template <>
struct std::hash<VelarL3Vfi::LocalDvpTableEntry> {
  std::size_t operator()(const VelarL3Vfi::LocalDvpTableEntry& e) const noexcept { return e.hash(0); }
};
