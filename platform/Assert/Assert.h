#pragma once
// Assertions that stop the agent.
//
// A broken invariant is reported on standard error with the condition, an
// optional explanatory message and the source that checked it, then the
// process aborts. The source is the file path relative to the project root
// without its extension ("AsicSwTable/SwTableAccessor"), followed by the line.
//
//   QASSERT(eh != nullptr);
//   QSOFT_ASSERT(eh->entryType() == EntryHandle::referenceOnly(), "unexpected entryType");
//
// A soft assertion streams its message first (any ostream expression), so the
// report reads: <message>\nassertion "<condition>" failed at <source>:<line>.

#include <sstream>
#include <string>
#include <string_view>

namespace Assert {

// The source name of a file path: relative to the project root, extension
// dropped. "AsicSwTable/SwTableAccessor.h" -> "AsicSwTable/SwTableAccessor".
std::string sourceName(std::string_view file);

// The text written before the process stops; exposed so tests can check it.
std::string report(std::string_view condition, std::string_view file, int line,
                   std::string_view message);

[[noreturn]] void fail(const char* condition, const char* file, int line,
                       std::string_view message = {}) noexcept;

}  // namespace Assert

#define QASSERT(cond)                                                            \
  (static_cast<bool>(cond) ? static_cast<void>(0)                                \
                           : ::Assert::fail(#cond, __FILE__, __LINE__))

// `message` is a chain of <<, which parentheses would break.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define QSOFT_ASSERT(cond, message)                                              \
  do {                                                                           \
    if (!static_cast<bool>(cond)) {                                              \
      std::ostringstream qsoftAssertMessage_;                                    \
      qsoftAssertMessage_ << message;                                            \
      ::Assert::fail(#cond, __FILE__, __LINE__, qsoftAssertMessage_.str());      \
    }                                                                            \
  } while (false)
// NOLINTEND(bugprone-macro-parentheses)
