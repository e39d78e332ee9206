#include "platform/Asic/HwTableRecoverGroup.h"

namespace Asic {

Quill::Ptr<HwTableRecoverGroup> HwTableRecoverGroup::HwTableRecoverGroupIs(Quill::String name) {
  return Quill::Ptr<HwTableRecoverGroup>(new HwTableRecoverGroup(std::move(name)));
}

}  // namespace Asic
