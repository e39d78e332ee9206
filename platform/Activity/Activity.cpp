#include "platform/Activity/Activity.h"

#include <utility>

namespace Activity {

namespace {
std::deque<std::function<void()>>& queue() {
  static std::deque<std::function<void()>> instance;
  return instance;
}
}  // namespace

void post(std::function<void()> work) { queue().push_back(std::move(work)); }

std::size_t runPending() {
  std::size_t ran = 0;
  auto& q = queue();
  while (!q.empty()) {
    auto work = std::move(q.front());
    q.pop_front();
    work();
    ++ran;
  }
  return ran;
}

std::size_t pending() noexcept { return queue().size(); }

void discardPending() noexcept { queue().clear(); }

}  // namespace Activity
