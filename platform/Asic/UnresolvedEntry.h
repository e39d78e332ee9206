#pragma once
// Framework base of an entry that waits for its dependent field: a runtime
// node whose parent is the table that holds it.
#include "platform/Quill/Notifier.h"

namespace Asic {

class SwTable;

class SwTableUnresolvedEntry : public Quill::Notifier {
 public:
  SwTable* parent() const noexcept { return parent_; }
  void parentIs(SwTable* parent) noexcept { parent_ = parent; }

 protected:
  SwTableUnresolvedEntry() noexcept = default;

 private:
  SwTable* parent_ = nullptr;
};

}  // namespace Asic
