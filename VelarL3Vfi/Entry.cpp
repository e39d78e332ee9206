#include "VelarL3Vfi/Entry.h"

#include <ostream>

namespace VelarL3Vfi {

namespace {
constexpr const char* kHandleAttr = "localPortNextHopHandle";
constexpr const char* kNextHopAttr = "localPortNextHop";
constexpr const char* kGroupAttr = "dvpNetworkGroup";
}  // namespace

LocalDvpTableEntry::LocalDvpTableEntry(Kiv::CharRange& in) {
  // Members are built before this body runs, so an error thrown below
  // destroys them and releases any handle use already taken.
  in.needPre(kTypeName, kHandleAttr);
  try {
    auto node = Kiv::sequenceToValueOfPtr(in);
    if (node) {
      const auto* handle = dynamic_cast<const Asic::SwTableBase::EntryHandle*>(node.get());
      if (handle == nullptr) in.cannotConvert("Asic::SwTableBase::EntryHandle");
      localPortNextHopHandle_ = HandlePtr(handle);
    }
  } catch (const Quill::RangeException& e) {
    Kiv::rethrowFromDeserializeAttr(e, kHandleAttr);
  }
  localPortNextHop_ = Kiv::desAttrIntra<std::uint32_t>(in, kNextHopAttr);
  dvpNetworkGroup_ = Kiv::desAttrPost<std::uint8_t>(in, kGroupAttr);
}

bool LocalDvpTableEntry::isEq(const void* a, const void* b) noexcept {
  if (a == b) return true;
  const auto& x = *static_cast<const LocalDvpTableEntry*>(a);
  const auto& y = *static_cast<const LocalDvpTableEntry*>(b);
  return x.localPortNextHopHandle_.get() == y.localPortNextHopHandle_.get() &&
         x.dvpNetworkGroup_ == y.dvpNetworkGroup_;
}

std::strong_ordering operator<=>(const LocalDvpTableEntry& a, const LocalDvpTableEntry& b) noexcept {
  if (&a == &b) return std::strong_ordering::equal;
  auto ha = reinterpret_cast<std::uintptr_t>(a.localPortNextHopHandle_.get());
  auto hb = reinterpret_cast<std::uintptr_t>(b.localPortNextHopHandle_.get());
  if (auto c = ha <=> hb; std::is_neq(c)) return c;
  return a.dvpNetworkGroup_ <=> b.dvpNetworkGroup_;
}

std::size_t LocalDvpTableEntry::hash(std::size_t seed) const noexcept {
  return hashFields(seed, static_cast<const void*>(localPortNextHopHandle_.get()), dvpNetworkGroup_);
}

void LocalDvpTableEntry::writeStrep(Kiv::StrepWriter& out) const {
  out.begin(kTypeName);
  out.attrNode(kHandleAttr, localPortNextHopHandle_.get());
  out.attr(kNextHopAttr, localPortNextHop_);
  out.attr(kGroupAttr, dvpNetworkGroup_);
  out.end();
}

std::string LocalDvpTableEntry::toStrep() const { return KivQuill::Impl::valueToStrep(*this); }

std::ostream& operator<<(std::ostream& os, const LocalDvpTableEntry& e) { return os << e.toStrep(); }

}  // namespace VelarL3Vfi
