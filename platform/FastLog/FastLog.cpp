#include "platform/FastLog/FastLog.h"

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <tuple>

namespace FastLog {

namespace {

// Braces pair up: every '{' not doubled closes with a '}' before the next
// '{', and every other '}' is doubled. Catching this when the site registers
// beats finding an unreadable log later.
bool bracesPair(std::string_view format) {
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '{') {
      if (i + 1 < format.size() && format[i + 1] == '{') {
        ++i;
        continue;
      }
      auto close = format.find_first_of("{}", i + 1);
      if (close == std::string_view::npos || format[close] != '}') {
        return false;
      }
      i = close;
    } else if (format[i] == '}') {
      if (i + 1 >= format.size() || format[i + 1] != '}') {
        return false;
      }
      ++i;
    }
  }
  return true;
}

struct MessageTable {
  std::mutex mutex;
  std::deque<Message> messages;  // id = index
  std::map<std::tuple<std::string, int, std::string>, int> ids;  // (file, line, format) -> id
};

MessageTable& table() {
  static auto* instance = new MessageTable;  // call sites may register during static teardown
  return *instance;
}

}  // namespace

std::atomic<Log*> detail::defaultLog{nullptr};

int registerMessage(const char* format, const char* file, int line) {
  if (format == nullptr || file == nullptr || !bracesPair(format)) {
    return -1;
  }
  auto& t = table();
  std::lock_guard lock(t.mutex);
  auto [it, added] = t.ids.try_emplace({file, line, format}, static_cast<int>(t.messages.size()));
  if (added) {
    t.messages.push_back(Message{format, file, line});
  }
  return it->second;
}

std::vector<Message> messageTable() {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  return {t.messages.begin(), t.messages.end()};
}

void defaultHandleIs(Log* log) noexcept { detail::defaultLog.store(log, std::memory_order_release); }

// Here rather than in Log.cpp: a Log that is the default handle must stop
// being it before it goes. Another Log that is the default stays so.
Log::~Log() {
  Log* self = this;
  detail::defaultLog.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

}  // namespace FastLog
