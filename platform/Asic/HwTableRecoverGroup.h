#pragma once
// A recovery of hardware tables: what the framework recovered, for which
// table type and unit, and the recovered hardware tables themselves.
#include <string>
#include <vector>

#include "platform/Asic/HwTable.h"
#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"

namespace Asic {

class HwTableRecoverGroup : public Quill::Node {
 public:
  struct Recovery {
    std::string tableType;
    UnitId unit = 0;
    Quill::Ptr<HwTable> hwTable;  // null when no adaptor could recover it
  };

  static Quill::Ptr<HwTableRecoverGroup> HwTableRecoverGroupIs(Quill::String name);

  const Quill::String& name() const noexcept { return name_; }
  void recoveryIs(Recovery recovery) { recoveries_.push_back(std::move(recovery)); }
  const std::vector<Recovery>& recoveries() const noexcept { return recoveries_; }

 private:
  explicit HwTableRecoverGroup(Quill::String name) : name_(std::move(name)) {}
  ~HwTableRecoverGroup() override { nodeFlagSet(kFlagLive, false); }

  Quill::String name_;
  std::vector<Recovery> recoveries_;
};

}  // namespace Asic
