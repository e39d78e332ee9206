#pragma once
// Quill::String: the runtime's string value, a thin wrapper over std::string so
// that runtime interfaces name one string type.
#include <compare>
#include <ostream>
#include <string>
#include <string_view>

namespace Quill {

class String {
 public:
  String() = default;
  String(const char* s) : value_(s ? s : "") {}  // NOLINT(google-explicit-constructor)
  String(std::string s) : value_(std::move(s)) {}  // NOLINT(google-explicit-constructor)
  String(std::string_view s) : value_(s) {}  // NOLINT(google-explicit-constructor)

  const std::string& str() const noexcept { return value_; }
  std::string_view view() const noexcept { return value_; }
  const char* c_str() const noexcept { return value_.c_str(); }
  bool empty() const noexcept { return value_.empty(); }

  friend bool operator==(const String&, const String&) = default;
  friend auto operator<=>(const String&, const String&) = default;
  friend std::ostream& operator<<(std::ostream& os, const String& s) { return os << s.value_; }

 private:
  std::string value_;
};

}  // namespace Quill
