#pragma once
// The hardware write-response state machine of a table: it serves one table
// and, while its notifications are active, passes the hardware's write
// confirmations on to that table. It holds no use of the table (a table
// owns its own machine); when the table it serves is destroyed first, the
// machine serves none and drops the responses it still gets.
#include <cstddef>
#include <cstdint>

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

  // Passes a hardware write-response buffer on to the table it serves.
  void responseIs(const void* buffer, std::size_t length);
  std::uint64_t responsesPassed() const noexcept { return responsesPassed_; }

 private:
  explicit WriteResponseSm(SwTable* swTable);
  ~WriteResponseSm() override;

  friend class SwTable;  // cuts the machine off when it goes first
  SwTable* swTable_;
  std::uint64_t responsesPassed_ = 0;
  bool hasNotificationActive_ = false;
};

}  // namespace Asic
