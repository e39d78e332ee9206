#include "platform/Asic/SwTable.h"

#include <cstring>

#include "platform/Asic/WriteResponseSm.h"
#include "platform/Assert/Assert.h"

namespace Asic {

SwTable::SwTable(Quill::String name) : SwTableBase(std::move(name)) {}
SwTable::~SwTable() {
  for (auto* sm : servedBy_) sm->swTable_ = nullptr;
}

void SwTable::utilIs(Quill::Ptr<Util> util) noexcept {
  util_ = std::move(util);
  utilChanged();
}

void SwTable::hwTableIs(Quill::Ptr<HwTable> hwTable) noexcept { hwTable_ = std::move(hwTable); }

Quill::Ptr<SwTableBase::EntryHandle> SwTable::entryHandleBase(SwTableBase::Index) const {
  return nullptr;
}

Quill::Ptr<SwTableBase::EntryHandle> SwTable::getEntryHandle(SwTableBase::Index) { return nullptr; }

void SwTable::hwWriteResponseIs(const void* buffer, std::size_t length) {
  if (auto* sm = activeWriteResponseSm(); sm != nullptr && sm->hasNotificationActive()) {
    sm->responseIs(buffer, length);
  } else {
    dispatchResponse(buffer, length);
  }
}

void SwTable::dispatchResponse(const void* buffer, std::size_t length) {
  if (!util_) return;
  util_->doNotifyWriteResponse(buffer, length, *this, [](SwTableBase::EntryHandle& handle,
                                                         Asic::Index hwIndex) {
    handle.hwIndexIs(hwIndex);
    handle.resolvedEntryStateIs(SwTableBase::EntryState::success);
  });
}

void SwTable::Util::doNotifyWriteResponse(const void* buffer, std::size_t length,
                                          const SwTable& table,
                                          const WriteResponseCallback& callback) const {
  QASSERT(length % sizeof(WriteResponseRecord) == 0);
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  for (std::size_t at = 0; at < length; at += sizeof(WriteResponseRecord)) {
    WriteResponseRecord record;
    std::memcpy(&record, bytes + at, sizeof record);
    // The handle is held for the callback: its hook may release other uses.
    if (auto handle = table.entryHandleBase(record.key)) callback(*handle, record.hwIndex);
  }
}

void SwTable::updateStatistic(ReconciliationStatus status) noexcept {
  ++statistics_.counts[static_cast<std::size_t>(status) - 1];
}

std::ostream& operator<<(std::ostream& os, const SwTable::Statistics& s) {
  return os << "matched: " << s.counts[0] << ", mismatched: " << s.counts[1]
            << ", missing: " << s.counts[2] << ", deleted: " << s.counts[3];
}

std::ostream& operator<<(std::ostream& os, SwTable::ReconciliationStatus s) {
  switch (s) {
    case SwTable::ReconciliationStatus::matched: return os << "matched";
    case SwTable::ReconciliationStatus::mismatched: return os << "mismatched";
    case SwTable::ReconciliationStatus::missing: return os << "missing";
    case SwTable::ReconciliationStatus::deleted: return os << "deleted";
  }
  return os << "invalid";
}

}  // namespace Asic
