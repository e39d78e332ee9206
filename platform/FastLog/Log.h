#pragma once
// FastLog's record buffer.
//
// A Log is a fixed-size byte ring holding binary records, each a message id
// and the message's arguments in a compact form. A record is written whole;
// when it does not fit, the oldest whole records are dropped to make room, so
// the ring always holds the newest records and never a torn one. A record
// larger than the whole ring is not written and only counted.
//
// Record layout (varint: LEB128, 7 bits a byte, low bits first):
//   varint length of the rest of the record
//   varint message id
//   byte   argument count
//   per argument a kind byte (Arg::Kind) and its value:
//     Signed    zigzag varint        Unsigned  varint (pointers too)
//     Bool      byte 0 or 1          Char      byte
//     Double    8 bytes, IEEE, LE    String    varint length, bytes
//
// Records are written through the FASTLOG macro (FastLog.h); lines() turns
// them back into text and saveTo() writes them, with the message table, to a
// file that decodeFile() (Decoder.h) reads in another process.
//
// A Log is written from one thread at a time.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace FastLog {

// One argument of a record, as the ring stores it.
struct Arg {
  enum class Kind : std::uint8_t { Signed = 1, Unsigned, Bool, Char, Double, String };

  Kind kind = Kind::Unsigned;
  std::uint64_t value = 0;  // integers (signed ones two's complement), bool, char, double bits
  std::string_view text;    // String only; must stay valid until the record is written
};

// The Arg for a value: integers up to 64 bits (enums by their underlying
// type), bool, char, floating point, strings (const char*, std::string,
// std::string_view) and pointers (their address, as an unsigned number).
template <typename T>
Arg toArg(const T& value) {
  using U = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<U, bool>) {
    return {Arg::Kind::Bool, value ? 1u : 0u, {}};
  } else if constexpr (std::is_same_v<U, char>) {
    return {Arg::Kind::Char, static_cast<unsigned char>(value), {}};
  } else if constexpr (std::is_enum_v<U>) {
    return toArg(static_cast<std::underlying_type_t<U>>(value));
  } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
    return {Arg::Kind::Signed, static_cast<std::uint64_t>(static_cast<std::int64_t>(value)), {}};
  } else if constexpr (std::is_integral_v<U>) {
    return {Arg::Kind::Unsigned, static_cast<std::uint64_t>(value), {}};
  } else if constexpr (std::is_floating_point_v<U>) {
    return {Arg::Kind::Double, std::bit_cast<std::uint64_t>(static_cast<double>(value)), {}};
  } else if constexpr (std::is_same_v<std::decay_t<U>, const char*> ||
                       std::is_same_v<std::decay_t<U>, char*>) {
    const char* text = value;
    return {Arg::Kind::String, 0, text != nullptr ? std::string_view(text) : "(null)"};
  } else if constexpr (std::is_null_pointer_v<U>) {
    return {Arg::Kind::Unsigned, 0, {}};
  } else if constexpr (std::is_convertible_v<const U&, std::string_view>) {
    return {Arg::Kind::String, 0, std::string_view(value)};
  } else if constexpr (std::is_pointer_v<U>) {
    return {Arg::Kind::Unsigned, static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(value)),
            {}};
  } else {
    static_assert(sizeof(U) == 0, "FastLog cannot store arguments of this type");
  }
}

class Log {
 public:
  static constexpr std::size_t kMaxArgs = 255;

  explicit Log(std::size_t capacity);
  // A Log that is the default handle stops being it.
  ~Log();
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  template <typename... Args>
  void write(int msgId, const Args&... args) {
    static_assert(sizeof...(Args) <= kMaxArgs, "too many FastLog arguments");
    if constexpr (sizeof...(Args) == 0) {
      append(msgId, {});
    } else {
      const Arg argv[] = {toArg(args)...};
      append(msgId, argv);
    }
  }
  void append(int msgId, std::span<const Arg> args);

  std::size_t capacity() const noexcept { return buffer_.size(); }
  std::size_t bytesUsed() const noexcept { return used_; }
  std::size_t recordCount() const noexcept { return records_; }
  // Old records dropped to make room for new ones.
  std::uint64_t overwrittenCount() const noexcept { return overwritten_; }
  // Records not written because they are larger than the ring.
  std::uint64_t droppedCount() const noexcept { return dropped_; }
  void clear() noexcept;

  // The records, oldest first, in the layout above.
  std::vector<std::uint8_t> records() const;
  // The records as text, oldest first, formatted with this process's
  // message table.
  std::vector<std::string> lines() const;
  // A self-contained image of the log: header, message table, records (see
  // Decoder.h), and the same written to a file; throws std::runtime_error
  // when the file cannot be written.
  std::vector<std::uint8_t> image() const;
  void saveTo(const std::string& path) const;

 private:
  std::size_t advance(std::size_t pos, std::size_t n) const noexcept;
  void put(std::uint8_t byte) noexcept;
  void put(const void* data, std::size_t size) noexcept;
  void putVarint(std::uint64_t value) noexcept;
  void dropOldest() noexcept;

  std::vector<std::uint8_t> buffer_;
  std::size_t head_ = 0;  // oldest record
  std::size_t tail_ = 0;  // where the next record goes
  std::size_t used_ = 0;
  std::size_t records_ = 0;
  std::uint64_t overwritten_ = 0;
  std::uint64_t dropped_ = 0;
};

}  // namespace FastLog
