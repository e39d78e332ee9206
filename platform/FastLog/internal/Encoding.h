#pragma once
// Byte-level helpers shared by FastLog's writer and decoder (not part of the
// interface).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace FastLog::Impl {

inline constexpr std::size_t kMaxVarintSize = 10;  // 64 bits, 7 a byte

constexpr std::size_t varintSize(std::uint64_t value) noexcept {
  std::size_t size = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++size;
  }
  return size;
}

// Small magnitudes of either sign encode short: 0, -1, 1, -2 -> 0, 1, 2, 3.
constexpr std::uint64_t zigzag(std::uint64_t twosComplement) noexcept {
  return (twosComplement << 1) ^ (0 - (twosComplement >> 63));
}
constexpr std::uint64_t unzigzag(std::uint64_t value) noexcept {
  return (value >> 1) ^ (0 - (value & 1));
}

void appendVarint(std::string& out, std::uint64_t value);
void appendU32(std::string& out, std::uint32_t value);
void appendU64(std::string& out, std::uint64_t value);

// Reads a byte range front to back; every read is checked against the end and
// a short or malformed input throws std::runtime_error with the origin and the
// offset (counted from the start of the outermost reader).
class Reader {
 public:
  Reader(std::span<const std::uint8_t> bytes, std::string_view origin, std::size_t base = 0)
      : bytes_(bytes), origin_(origin), base_(base) {}

  bool atEnd() const noexcept { return pos_ == bytes_.size(); }
  std::size_t remaining() const noexcept { return bytes_.size() - pos_; }
  std::size_t offset() const noexcept { return base_ + pos_; }

  std::uint8_t byte();
  std::uint32_t u32();
  std::uint64_t u64();
  std::uint64_t varint();
  std::string_view text(std::uint64_t size);
  // A reader over the next size bytes, which this one skips.
  Reader sub(std::uint64_t size);

  [[noreturn]] void fail(std::string_view what) const;

 private:
  void need(std::uint64_t size, std::string_view what) const;

  std::span<const std::uint8_t> bytes_;
  std::string_view origin_;
  std::size_t base_;
  std::size_t pos_ = 0;
};

}  // namespace FastLog::Impl
