#include "platform/Asic/WriteResponseSm.h"

#include <algorithm>

#include "platform/Asic/SwTable.h"

namespace Asic {

Quill::Ptr<WriteResponseSm> WriteResponseSm::WriteResponseSmIs(SwTable* swTable) {
  return Quill::Ptr<WriteResponseSm>(new WriteResponseSm(swTable));
}

WriteResponseSm::WriteResponseSm(SwTable* swTable) : swTable_(swTable) {
  if (swTable_ != nullptr) swTable_->servedBy_.push_back(this);
}

WriteResponseSm::~WriteResponseSm() {
  nodeFlagSet(kFlagLive, false);
  if (swTable_ != nullptr) std::erase(swTable_->servedBy_, this);
}

}  // namespace Asic

namespace Asic {

void WriteResponseSm::responseIs(const void* buffer, std::size_t length) {
  ++responsesPassed_;
  if (swTable_ != nullptr) swTable_->dispatchResponse(buffer, length);
}

}  // namespace Asic
