#include "simulation/NeededEntryTable.h"

namespace Asic {

Quill::Ptr<NeededEntryTable> NeededEntryTable::NeededEntryTableIs(Quill::String name) {
  return Quill::Ptr<NeededEntryTable>(new NeededEntryTable(std::move(name)));
}

Quill::Ptr<NeededEntryTable::Handle> NeededEntryTable::handleIs(std::uint32_t key) {
  if (auto* existing = handles_.find(key)) return *existing;
  Quill::Ptr<Handle> handle(new Handle(key));
  handles_.tryEmplace(key, handle);
  return handle;
}

Quill::Ptr<NeededEntryTable::Handle> NeededEntryTable::handle(std::uint32_t key) const {
  const auto* existing = handles_.find(key);
  return existing ? *existing : nullptr;
}

void NeededEntryTable::readyIs(std::uint32_t key, Asic::Index index) {
  auto h = handleIs(key);
  h->hwIndexIs(index);
  h->entryStateIs(SwTableBase::EntryState::success);
}

void NeededEntryTable::failedIs(std::uint32_t key) {
  handleIs(key)->entryStateIs(SwTableBase::EntryState::failedNeededEntry);
}

Quill::Ptr<SwTableBase::EntryHandle> NeededEntryTable::entryHandleBase(SwTableBase::Index key) const {
  return handle(key.value);
}

}  // namespace Asic
