#include "platform/Asic/WriteResponseSm.h"

#include "platform/Asic/SwTable.h"

namespace Asic {

Quill::Ptr<WriteResponseSm> WriteResponseSm::WriteResponseSmIs(SwTable* swTable) {
  return Quill::Ptr<WriteResponseSm>(new WriteResponseSm(swTable));
}

WriteResponseSm::~WriteResponseSm() { nodeFlagSet(kFlagLive, false); }

}  // namespace Asic

namespace Asic {

void WriteResponseSm::responseIs(const void* buffer, std::size_t length) {
  ++responsesPassed_;
  if (swTable_ != nullptr) swTable_->dispatchResponse(buffer, length);
}

}  // namespace Asic
