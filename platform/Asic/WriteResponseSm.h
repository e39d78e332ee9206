#pragma once
// The hardware write-response state machine of a table: it serves one table
// and, while its notifications are active, passes the hardware's write
// confirmations on to that table.
#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"

namespace Asic {

class SwTable;

class WriteResponseSm : public Quill::Node {
 public:
  static Quill::Ptr<WriteResponseSm> WriteResponseSmIs(SwTable* swTable);

  SwTable* swTable() const noexcept { return swTable_; }
  bool hasNotificationActive() const noexcept { return hasNotificationActive_; }
  void hasNotificationActiveIs(bool active) noexcept { hasNotificationActive_ = active; }

 private:
  explicit WriteResponseSm(SwTable* swTable) noexcept : swTable_(swTable) {}
  ~WriteResponseSm() override;

  SwTable* swTable_;
  bool hasNotificationActive_ = false;
};

}  // namespace Asic
