#include "platform/FastLog/Log.h"

#include "platform/Assert/Assert.h"
#include "platform/FastLog/Decoder.h"
#include "platform/FastLog/FastLog.h"
#include "platform/FastLog/internal/Encoding.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <fmt/format.h>

namespace FastLog {

using Impl::varintSize;

namespace {

std::size_t encodedSize(const Arg& arg) {
  switch (arg.kind) {
    case Arg::Kind::Signed:
      return 1 + varintSize(Impl::zigzag(arg.value));
    case Arg::Kind::Unsigned:
      return 1 + varintSize(arg.value);
    case Arg::Kind::Bool:
    case Arg::Kind::Char:
      return 2;
    case Arg::Kind::Double:
      return 9;
    case Arg::Kind::String:
      return 1 + varintSize(arg.text.size()) + arg.text.size();
  }
  Assert::fail("arg.kind is a known Arg::Kind", __FILE__, __LINE__);
}

}  // namespace

Log::Log(std::size_t capacity) : buffer_(capacity) { QASSERT(capacity > 0); }

std::size_t Log::advance(std::size_t pos, std::size_t n) const noexcept {
  // pos < capacity and n <= capacity, so one subtraction wraps.
  pos += n;
  return pos >= buffer_.size() ? pos - buffer_.size() : pos;
}

void Log::put(std::uint8_t byte) noexcept {
  buffer_[tail_] = byte;
  tail_ = advance(tail_, 1);
}

void Log::put(const void* data, std::size_t size) noexcept {
  if (size == 0) {
    return;  // an empty string_view may carry a null pointer, which memcpy must not see
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const std::size_t first = std::min(size, buffer_.size() - tail_);
  std::memcpy(buffer_.data() + tail_, bytes, first);
  std::memcpy(buffer_.data(), bytes + first, size - first);
  tail_ = advance(tail_, size);
}

void Log::putVarint(std::uint64_t value) noexcept {
  while (value >= 0x80) {
    put(static_cast<std::uint8_t>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  put(static_cast<std::uint8_t>(value));
}

void Log::dropOldest() noexcept {
  std::uint64_t length = 0;
  std::size_t pos = head_;
  std::size_t header = 0;
  std::uint8_t byte = 0;
  do {
    byte = buffer_[pos];
    pos = advance(pos, 1);
    length |= std::uint64_t{byte & 0x7Fu} << (7 * header);
    ++header;
  } while ((byte & 0x80) != 0);
  const std::size_t total = header + static_cast<std::size_t>(length);
  head_ = advance(head_, total);
  used_ -= total;
  --records_;
  ++overwritten_;
}

void Log::append(int msgId, std::span<const Arg> args) {
  QASSERT(msgId >= 0);
  QASSERT(args.size() <= kMaxArgs);
  const auto id = static_cast<std::uint64_t>(msgId);
  std::size_t body = varintSize(id) + 1;
  for (const Arg& arg : args) {
    body += encodedSize(arg);
  }
  const std::size_t total = varintSize(body) + body;
  if (total > buffer_.size()) {
    ++dropped_;
    return;
  }
  while (buffer_.size() - used_ < total) {
    dropOldest();
  }
  putVarint(body);
  putVarint(id);
  put(static_cast<std::uint8_t>(args.size()));
  for (const Arg& arg : args) {
    put(static_cast<std::uint8_t>(arg.kind));
    switch (arg.kind) {
      case Arg::Kind::Signed:
        putVarint(Impl::zigzag(arg.value));
        break;
      case Arg::Kind::Unsigned:
        putVarint(arg.value);
        break;
      case Arg::Kind::Bool:
      case Arg::Kind::Char:
        put(static_cast<std::uint8_t>(arg.value));
        break;
      case Arg::Kind::Double:
        for (int i = 0; i < 8; ++i) {
          put(static_cast<std::uint8_t>(arg.value >> (8 * i)));
        }
        break;
      case Arg::Kind::String:
        putVarint(arg.text.size());
        put(arg.text.data(), arg.text.size());
        break;
    }
  }
  used_ += total;
  ++records_;
}

void Log::clear() noexcept {
  head_ = tail_ = used_ = records_ = 0;
}

std::vector<std::uint8_t> Log::records() const {
  std::vector<std::uint8_t> out(used_);
  if (used_ == 0) {
    return out;
  }
  const std::size_t first = std::min(used_, buffer_.size() - head_);
  std::memcpy(out.data(), buffer_.data() + head_, first);
  std::memcpy(out.data() + first, buffer_.data(), used_ - first);
  return out;
}

std::vector<std::string> Log::lines() const {
  Formats formats;
  auto table = messageTable();
  for (std::size_t id = 0; id < table.size(); ++id) {
    formats.emplace(id, std::move(table[id].format));
  }
  return decodeRecords(records(), formats, "FastLog buffer");
}

std::vector<std::uint8_t> Log::image() const {
  std::string out(kImageMagic);
  Impl::appendU32(out, kImageVersion);
  const auto table = messageTable();
  Impl::appendU32(out, static_cast<std::uint32_t>(table.size()));
  for (std::size_t id = 0; id < table.size(); ++id) {
    const Message& m = table[id];
    Impl::appendU32(out, static_cast<std::uint32_t>(id));
    Impl::appendU32(out, static_cast<std::uint32_t>(m.line));
    Impl::appendU32(out, static_cast<std::uint32_t>(m.format.size()));
    out += m.format;
    Impl::appendU32(out, static_cast<std::uint32_t>(m.file.size()));
    out += m.file;
  }
  Impl::appendU32(out, static_cast<std::uint32_t>(records_));
  Impl::appendU64(out, used_);
  std::vector<std::uint8_t> image(out.begin(), out.end());
  const auto recs = records();
  image.insert(image.end(), recs.begin(), recs.end());
  return image;
}

void Log::saveTo(const std::string& path) const {
  const auto bytes = image();
  auto fail = [&path](int error) {
    throw std::runtime_error(
        fmt::format("cannot write FastLog file \"{}\": {}", path, std::strerror(error)));
  };
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) {
    fail(errno);
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    fail(errno);
  }
  if (std::fclose(file.release()) != 0) {
    fail(errno);
  }
}

}  // namespace FastLog
