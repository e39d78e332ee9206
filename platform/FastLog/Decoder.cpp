#include "platform/FastLog/Decoder.h"

#include "platform/FastLog/Log.h"
#include "platform/FastLog/internal/Encoding.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <fmt/args.h>
#include <fmt/format.h>

namespace FastLog {

namespace {

std::string decodeRecord(Impl::Reader& record, const Formats& formats) {
  const std::uint64_t id = record.varint();
  auto format = formats.find(id);
  if (format == formats.end()) {
    record.fail(fmt::format("record of unknown message id {}", id));
  }
  fmt::dynamic_format_arg_store<fmt::format_context> args;
  const unsigned count = record.byte();
  for (unsigned i = 0; i < count; ++i) {
    const std::uint8_t kind = record.byte();
    switch (static_cast<Arg::Kind>(kind)) {
      case Arg::Kind::Signed:
        args.push_back(static_cast<std::int64_t>(Impl::unzigzag(record.varint())));
        break;
      case Arg::Kind::Unsigned:
        args.push_back(record.varint());
        break;
      case Arg::Kind::Bool: {
        const std::uint8_t b = record.byte();
        if (b > 1) {
          record.fail(fmt::format("bool argument of value {}", b));
        }
        args.push_back(b == 1);
        break;
      }
      case Arg::Kind::Char:
        args.push_back(static_cast<char>(record.byte()));
        break;
      case Arg::Kind::Double:
        args.push_back(std::bit_cast<double>(record.u64()));
        break;
      case Arg::Kind::String:
        args.push_back(std::string(record.text(record.varint())));
        break;
      default:
        record.fail(fmt::format("argument {} of unknown kind {}", i, kind));
    }
  }
  if (!record.atEnd()) {
    record.fail(fmt::format("{} bytes left over after the record's arguments", record.remaining()));
  }
  try {
    return fmt::vformat(format->second, args);
  } catch (const fmt::format_error& e) {
    // The record is sound; its arguments do not suit the format (a table
    // from another build, say). Keep the line rather than lose the log.
    return fmt::format("<cannot format message {} \"{}\" with {} arguments: {}>", id,
                       format->second, count, e.what());
  }
}

// base: where the records start in what origin names, for error offsets.
std::vector<std::string> decodeRecordsAt(std::span<const std::uint8_t> records,
                                         const Formats& formats, std::string_view origin,
                                         std::size_t base) {
  std::vector<std::string> lines;
  Impl::Reader reader(records, origin, base);
  while (!reader.atEnd()) {
    Impl::Reader record = reader.sub(reader.varint());
    lines.push_back(decodeRecord(record, formats));
  }
  return lines;
}

}  // namespace

std::vector<std::string> decodeRecords(std::span<const std::uint8_t> records,
                                       const Formats& formats, std::string_view origin) {
  return decodeRecordsAt(records, formats, origin, 0);
}

std::vector<std::string> decodeImage(std::span<const std::uint8_t> image, std::string_view origin) {
  Impl::Reader reader(image, origin);
  if (reader.remaining() < kImageMagic.size() || reader.text(kImageMagic.size()) != kImageMagic) {
    reader.fail("not a FastLog file (bad magic)");
  }
  if (auto version = reader.u32(); version != kImageVersion) {
    reader.fail(fmt::format("unsupported version {} (this decoder reads {})", version,
                            kImageVersion));
  }
  Formats formats;
  const std::uint32_t messages = reader.u32();
  for (std::uint32_t i = 0; i < messages; ++i) {
    const std::uint32_t id = reader.u32();
    reader.u32();  // source line: for tools that show where a message comes from
    std::string format(reader.text(reader.u32()));
    reader.text(reader.u32());  // source file: likewise
    if (!formats.emplace(id, std::move(format)).second) {
      reader.fail(fmt::format("message id {} appears twice in the message table", id));
    }
  }
  const std::uint32_t recordCount = reader.u32();
  const std::uint64_t recordBytes = reader.u64();
  if (recordBytes != reader.remaining()) {
    reader.fail(fmt::format("records should take {} bytes, the file has {}", recordBytes,
                            reader.remaining()));
  }
  const std::size_t start = reader.offset();
  auto lines = decodeRecordsAt(image.subspan(start), formats, origin, start);
  if (lines.size() != recordCount) {
    reader.fail(fmt::format("header promises {} records, found {}", recordCount, lines.size()));
  }
  return lines;
}

std::vector<std::string> decodeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error(
        fmt::format("cannot open FastLog file \"{}\": {}", path, std::strerror(errno)));
  }
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  if (in.bad()) {
    throw std::runtime_error(fmt::format("cannot read FastLog file \"{}\"", path));
  }
  return decodeImage(bytes, fmt::format("FastLog file \"{}\"", path));
}

}  // namespace FastLog
