#pragma once
// A runtime node that publishes changes of its attributes.
#include "platform/Quill/Node.h"
#include "platform/Quill/Publisher.h"

namespace Quill {

class Notifier : public Node {
 public:
  Publisher* publisher() noexcept override { return &publisher_; }
  const Publisher& publisherRef() const noexcept { return publisher_; }

 protected:
  // Publishes through the node's own publisher.
  void publishChange(FieldId field, const void* key) const { publisher_.publishChange(field, key); }
  void publishChangeRecursive(FieldId field, const void* key, const void* previous,
                              KeyEq keyEq) const {
    publisher_.publishChangeRecursive(field, key, previous, keyEq);
  }

 private:
  Publisher publisher_;
};

}  // namespace Quill
