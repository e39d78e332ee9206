#include "platform/Quill/Publisher.h"

#include <algorithm>

namespace Quill {

Publisher::~Publisher() = default;

void Publisher::observerIs(Observer* observer) {
  if (observer == nullptr) return;
  if (!observers_) observers_ = std::make_unique<Observers>();
  auto& list = observers_->list;
  if (std::find(list.begin(), list.end(), observer) == list.end()) list.push_back(observer);
}

void Publisher::observerDel(Observer* observer) noexcept {
  if (!observers_) return;
  auto& list = observers_->list;
  auto it = std::find(list.begin(), list.end(), observer);
  if (it == list.end()) return;
  *it = nullptr;
  compact();
}

std::size_t Publisher::observerCount() const noexcept {
  if (!observers_) return 0;
  const auto& list = observers_->list;
  return static_cast<std::size_t>(std::count_if(list.begin(), list.end(), [](auto* o) { return o != nullptr; }));
}

void Publisher::compact() const noexcept {
  if (!observers_ || observers_->delivering != 0) return;
  std::erase(observers_->list, nullptr);
  if (observers_->list.empty()) observers_.reset();
}

void Publisher::deliver(const Change& change) const {
  // Index-based: observers may be added or removed during delivery. The
  // list stays while any delivery runs (compact() waits for the outermost).
  struct Depth {
    const Publisher& p;
    explicit Depth(const Publisher& pub) : p(pub) { ++p.observers_->delivering; }
    ~Depth() {
      --p.observers_->delivering;
      p.compact();
    }
  } depth(*this);
  const auto& list = observers_->list;
  for (std::size_t i = 0; i < list.size(); ++i) {  // NOLINT(modernize-loop-convert): the list may grow meanwhile
    if (auto* observer = list[i]) observer->onChange(change);
  }
}

}  // namespace Quill
