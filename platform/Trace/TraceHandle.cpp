#include "platform/Trace/TraceHandle.h"

#include "platform/Assert/Assert.h"
#include "platform/Trace/TraceConfig.h"
#include "platform/Trace/TraceSink.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace Trace {

namespace {

// Live handles by name, and the masks settings gave to names so far. Built on
// first use, so handles that are static objects of other libraries can be
// constructed in any order.
struct Registry {
  std::mutex mutex;
  std::map<std::string, std::vector<Handle*>, std::less<>> handles;
  std::map<std::string, std::uint32_t, std::less<>> configured;
};

Registry& registry() {
  static auto* instance = new Registry;  // never destroyed: handles may outlive static teardown
  return *instance;
}

}  // namespace

std::atomic<std::uint32_t> detail::levelsOn{0};

Handle::Handle(std::string name) : name_(std::move(name)) {
  // Before taking the registry lock: applying TRACE takes it too.
  Impl::configureFromEnvironmentOnce();
  auto& reg = registry();
  std::lock_guard lock(reg.mutex);
  if (auto it = reg.configured.find(name_); it != reg.configured.end()) {
    maskIs(it->second);
  }
  reg.handles[name_].push_back(this);
}

Handle::~Handle() {
  maskIs(0);
  auto& reg = registry();
  std::lock_guard lock(reg.mutex);
  auto it = reg.handles.find(name_);
  if (it == reg.handles.end()) {
    return;
  }
  auto& list = it->second;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  if (list.empty()) {
    reg.handles.erase(it);
  }
}

void Handle::levelIs(unsigned level, bool on) {
  QASSERT(level < kLevelCount);
  const std::uint32_t bit = 1u << level;
  if (on) {
    const std::uint32_t before = mask_.fetch_or(bit, std::memory_order_relaxed);
    detail::countLevelsOn(before, before | bit);
  } else {
    const std::uint32_t before = mask_.fetch_and(~bit, std::memory_order_relaxed);
    detail::countLevelsOn(before, before & ~bit);
  }
}

void Handle::write(std::string_view text) const { sink()->line(*this, text); }

Handle* find(std::string_view name) {
  auto& reg = registry();
  std::lock_guard lock(reg.mutex);
  auto it = reg.handles.find(name);
  return it == reg.handles.end() ? nullptr : it->second.front();
}

void apply(const std::vector<Setting>& settings) {
  auto& reg = registry();
  std::lock_guard lock(reg.mutex);
  for (const auto& setting : settings) {
    std::uint32_t& configured = reg.configured[setting.handle];
    detail::countLevelsOn(configured, setting.mask);
    configured = setting.mask;
    if (auto it = reg.handles.find(setting.handle); it != reg.handles.end()) {
      for (Handle* handle : it->second) {
        handle->maskIs(setting.mask);
      }
    }
  }
}

}  // namespace Trace
