#include "platform/Asic/WriteResponseSm.h"

namespace Asic {

Quill::Ptr<WriteResponseSm> WriteResponseSm::WriteResponseSmIs(SwTable* swTable) {
  return Quill::Ptr<WriteResponseSm>(new WriteResponseSm(swTable));
}

WriteResponseSm::~WriteResponseSm() { nodeFlagSet(kFlagLive, false); }

}  // namespace Asic
