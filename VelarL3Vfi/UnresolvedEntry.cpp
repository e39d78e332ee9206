#include "VelarL3Vfi/UnresolvedEntry.h"

#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/TypeModule.h"

namespace VelarL3Vfi {

namespace {
LocalDvpTable* tableOf(const LocalDvpTableUnresolvedEntry& ue) {
  return static_cast<LocalDvpTable*>(ue.parent());
}
}  // namespace

LocalDvpTableUnresolvedEntry::~LocalDvpTableUnresolvedEntry() { nodeFlagSet(kFlagLive, false); }

void LocalDvpTableUnresolvedEntry::doResolve() {
  LocalDvpTable::Accessor(tableOf(*this)).doResolve(this);
}

void LocalDvpTableUnresolvedEntry::markFailedNeededEntry() {
  LocalDvpTable::Accessor(tableOf(*this)).markFailedNeededEntry(this);
}

bool LocalDvpTableUnresolvedEntry::neededEntryUsable(const Asic::SwTableBase::EntryHandle& needed) const {
  LocalDvpTable::Accessor accessor(tableOf(*this));
  return LocalDvpTable::Accessor::neededEntryUsable(accessor.utilIfExists(), &needed);
}

const Quill::TypeData* LocalDvpTableUnresolvedEntry::typeData() const noexcept {
  return &VelarL3Vfi::typeData(kUnresolvedEntryType);
}

}  // namespace VelarL3Vfi
