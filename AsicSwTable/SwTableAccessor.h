#pragma once
// The generic algorithms of software tables.
//
// An Accessor is a value holding one plain pointer to a table (no use). Table
// operations that carry an algorithm build one over the table, run the
// algorithm and drop it; the algorithms change the table only through its
// mutators, so that every change is published.
#include "platform/Asic/SwTable.h"

namespace Asic {

template <class Table>
class SwTable::Accessor {
 public:
  using Index = SwTableBase::Index;

  explicit Accessor(Table* swTable) noexcept : swTable_(swTable) {}

  Table* swTable() const noexcept { return swTable_; }

  // Entry handling: runs after every change of a key's resolved entry and is
  // where a resolved value is programmed into the hardware or deleted from
  // it. Nothing is programmed yet: this library has no hardware-programming
  // step, so the resolved collection is the whole outcome of a change.
  void handleEntry(const Index& /*key*/) {}

 private:
  Table* swTable_;
};

}  // namespace Asic
