#pragma once
// The hardware adaptor contract of the local DVP table. A hardware-specific
// plug-in derives from it; the table reaches it only through util().
#include <cstdint>

#include "platform/Asic/SwTable.h"
#include "platform/Quill/String.h"

namespace VelarL3Vfi {

class LocalDvpTableUtil : public Asic::SwTable::Util {
 public:
  explicit LocalDvpTableUtil(const Quill::String& name) : Asic::SwTable::Util(name) {}

  // The range of hardware indices the chip offers for this table.
  virtual std::uint32_t minIndex() const = 0;
  virtual std::uint32_t maxIndex() const = 0;

  // In this table the value of the dependent field already is the hardware
  // index.
  virtual Asic::Index dependentFieldValueToHwIndex(Asic::Index dependentField) const {
    return dependentField;
  }

 protected:
  ~LocalDvpTableUtil() override { nodeFlagSet(kFlagLive, false); }
};

}  // namespace VelarL3Vfi
