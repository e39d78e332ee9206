#pragma once
// FastLog: a binary log cheap enough to leave on.
//
// A call site logs with a {fmt}-style format and its arguments:
//
//   FASTLOG("{}: {} entryHandle : 0x{:x}", tableName, "entryRemove", eh);
//
// The format is entered once per call site in a process-wide message table
// (the first time the site logs) and the site keeps the id it got; each call
// then stores only that id and the arguments, in binary, in the default Log
// (Log.h). Without a default Log, FASTLOG costs one load and a branch: no
// record, no arguments looked at. Text is made
// only when someone reads the log: Log::lines() in this process, or
// decodeFile() (Decoder.h) on a file the log was saved to.
//
// Placeholders are {} and {:x}; "{{" and "}}" stand for braces.
#include "platform/Assert/Assert.h"
#include "platform/FastLog/Log.h"

#include <atomic>
#include <string>
#include <vector>

namespace FastLog {

struct Message {
  std::string format;
  std::string file;
  int line = 0;
};

// The id of a call site's message, >= 0; the same site (format, file, line)
// always gets the same id. -1 when the format's braces do not pair up or an
// argument is null.
int registerMessage(const char* format, const char* file, int line);

// The message table: message id i is entry i.
std::vector<Message> messageTable();

namespace detail {
extern std::atomic<Log*> defaultLog;
}  // namespace detail

// The Log FASTLOG writes to; nullptr (the start) turns FASTLOG off.
inline Log* defaultHandle() noexcept { return detail::defaultLog.load(std::memory_order_acquire); }
void defaultHandleIs(Log* log) noexcept;

}  // namespace FastLog

#ifdef VELAR_NO_TRACE_CALLS
// A build for measuring what the calls cost: every call site compiles to dead
// code that the optimiser drops.
#define FASTLOG(format, ...)                                              \
  do {                                                                    \
    if (false) ::FastLog::defaultHandle()->write(0 __VA_OPT__(, ) __VA_ARGS__); \
  } while (false)
#else
#define FASTLOG(format, ...)                                                          \
  do {                                                                                \
    if (::FastLog::Log* fastLog_ = ::FastLog::defaultHandle()) {                      \
      static const int msgId_ = ::FastLog::registerMessage(format, __FILE__, __LINE__); \
      QASSERT(msgId_ >= 0);                                                           \
      fastLog_->write(msgId_ __VA_OPT__(, ) __VA_ARGS__);                             \
    }                                                                                 \
  } while (false)
#endif
