#include "platform/Quill/Publisher.h"

#include <algorithm>

namespace Quill {

Publisher::~Publisher() = default;

void Publisher::observerIs(Observer* observer) {
  if (observer == nullptr) return;
  if (!observers_) observers_ = std::make_unique<std::vector<Observer*>>();
  if (std::find(observers_->begin(), observers_->end(), observer) == observers_->end()) {
    observers_->push_back(observer);
  }
}

void Publisher::observerDel(Observer* observer) noexcept {
  if (!observers_) return;
  auto it = std::find(observers_->begin(), observers_->end(), observer);
  if (it == observers_->end()) return;
  *it = nullptr;
  compact();
}

std::size_t Publisher::observerCount() const noexcept {
  if (!observers_) return 0;
  return static_cast<std::size_t>(
      std::count_if(observers_->begin(), observers_->end(), [](auto* o) { return o != nullptr; }));
}

void Publisher::compact() const noexcept {
  if (delivering_ != 0 || !observers_) return;
  std::erase(*observers_, nullptr);
  if (observers_->empty()) observers_.reset();
}

void Publisher::publishChange(FieldId field, const void* key) const {
  if (idle()) return;
  deliver(Change{field, key, nullptr, nullptr, false});
}

void Publisher::publishChangeRecursive(FieldId field, const void* key, const void* previous,
                                       KeyEq keyEq) const {
  if (idle()) return;
  deliver(Change{field, key, previous, keyEq, true});
}

void Publisher::deliver(const Change& change) const {
  // Index-based: observers may be added or removed during delivery.
  struct Depth {
    const Publisher& p;
    explicit Depth(const Publisher& pub) : p(pub) { ++p.delivering_; }
    ~Depth() {
      --p.delivering_;
      p.compact();
    }
  } depth(*this);
  for (std::size_t i = 0; observers_ && i < observers_->size(); ++i) {
    if (auto* observer = (*observers_)[i]) observer->onChange(change);
  }
}

}  // namespace Quill
