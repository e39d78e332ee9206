#include "platform/FastLog/internal/Encoding.h"

#include <stdexcept>

#include <fmt/format.h>

namespace FastLog::Impl {

void appendVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

void appendU32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

void appendU64(std::string& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

void Reader::fail(std::string_view what) const {
  throw std::runtime_error(fmt::format("{}: {} (at offset {})", origin_, what, offset()));
}

void Reader::need(std::uint64_t size, std::string_view what) const {
  if (size > remaining()) {
    fail(fmt::format("truncated: {} needs {} bytes, {} left", what, size, remaining()));
  }
}

std::uint8_t Reader::byte() {
  need(1, "a byte");
  return bytes_[pos_++];
}

std::uint32_t Reader::u32() {
  need(4, "a 32-bit number");
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= std::uint32_t{bytes_[pos_++]} << (8 * i);
  }
  return value;
}

std::uint64_t Reader::u64() {
  need(8, "a 64-bit number");
  std::uint64_t value = 0;
  for (int i = 0; i < 8; ++i) {
    value |= std::uint64_t{bytes_[pos_++]} << (8 * i);
  }
  return value;
}

std::uint64_t Reader::varint() {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < kMaxVarintSize; ++i) {
    if (atEnd()) {
      fail("truncated: a number runs past the end");
    }
    const std::uint8_t b = bytes_[pos_++];
    // The tenth byte carries only the top bit of 64.
    if (i == kMaxVarintSize - 1 && b > 1) {
      fail("number too large for 64 bits");
    }
    value |= std::uint64_t{b & 0x7Fu} << (7 * i);
    if ((b & 0x80) == 0) {
      return value;
    }
  }
  fail("number too large for 64 bits");
}

std::string_view Reader::text(std::uint64_t size) {
  need(size, "a string");
  std::string_view out(reinterpret_cast<const char*>(bytes_.data() + pos_),
                       static_cast<std::size_t>(size));
  pos_ += static_cast<std::size_t>(size);
  return out;
}

Reader Reader::sub(std::uint64_t size) {
  need(size, "a record");
  Reader inner(bytes_.subspan(pos_, static_cast<std::size_t>(size)), origin_, offset());
  pos_ += static_cast<std::size_t>(size);
  return inner;
}

}  // namespace FastLog::Impl
