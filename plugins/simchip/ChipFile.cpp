#include "plugins/simchip/ChipFile.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "plugins/simchip/SimChipControl.h"

namespace SimChip::ChipFile {

namespace {

constexpr std::array<std::uint32_t, 256> crcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

std::uint32_t crc32(const unsigned char* bytes, std::size_t size) noexcept {
  static constexpr auto table = crcTable();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) c = table[(c ^ bytes[i]) & 0xFFu] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace

std::size_t fileBytes(std::uint32_t entries) noexcept {
  return sizeof(Header) + std::size_t{entries} * sizeof(Record);
}

std::uint32_t checksumOf(const Header& header) noexcept {
  Header copy = header;
  copy.checksum = 0;
  unsigned char bytes[sizeof copy];
  std::memcpy(bytes, &copy, sizeof copy);
  return crc32(bytes, sizeof bytes);
}

Header newHeader(std::uint32_t entries) noexcept {
  Header header{};
  std::memcpy(header.magic, kMagic, sizeof header.magic);
  header.version = kVersion;
  header.headerBytes = sizeof(Header);
  header.recordBytes = sizeof(Record);
  header.entries = entries;
  header.minIndex = 0;
  header.checksum = checksumOf(header);
  return header;
}

std::string headerProblem(const Header& header, std::uint64_t fileSize) {
  if (std::memcmp(header.magic, kMagic, sizeof header.magic) != 0) {
    return "wrong magic: not a simulated chip file";
  }
  if (header.version != kVersion) {
    return fmt::format("wrong version {}, expected {}", header.version, kVersion);
  }
  if (const std::uint32_t sum = checksumOf(header); header.checksum != sum) {
    return fmt::format("corrupt header: checksum {:#010x}, the header sums to {:#010x}", header.checksum,
                       sum);
  }
  if (header.headerBytes != sizeof(Header) || header.recordBytes != sizeof(Record) || header.minIndex != 0 ||
      std::any_of(std::begin(header.reserved), std::end(header.reserved), [](auto w) { return w != 0; })) {
    return fmt::format("wrong layout: header {} bytes, record {} bytes, minIndex {}; expected {}, {}, 0 "
                       "and reserved words zero",
                       header.headerBytes, header.recordBytes, header.minIndex, sizeof(Header),
                       sizeof(Record));
  }
  if (header.entries == 0 || header.entries > kMaxEntries) {
    return fmt::format("wrong entry count {} (1 to {})", header.entries, kMaxEntries);
  }
  if (fileSize != fileBytes(header.entries)) {
    return fmt::format("wrong size: {} bytes, expected {} for {} entries ({})", fileSize,
                       fileBytes(header.entries), header.entries,
                       fileSize < fileBytes(header.entries) ? "truncated" : "extended");
  }
  return {};
}

std::string recordProblem(const Record& record, std::uint32_t index) {
  const auto state = static_cast<SlotState>(record.state);
  if (state != SlotState::empty && state != SlotState::valid && state != SlotState::writtenEmpty) {
    return fmt::format("corrupt record {}: slot state {}", index, record.state);
  }
  if (state != SlotState::valid && (record.nextHop != 0 || record.group != 0)) {
    return fmt::format("corrupt record {}: {} slot holds next hop {} and group {}", index,
                       slotStateName(state), record.nextHop, record.group);
  }
  if (record.users > 1) {
    return fmt::format("corrupt record {}: {} index users (at most 1)", index, record.users);
  }
  if (record.pad[0] != 0 || record.pad[1] != 0) {
    return fmt::format("corrupt record {}: padding not zero", index);
  }
  return {};
}

Record recovered(const Record& stored) noexcept {
  Record record = stored;
  if (static_cast<SlotState>(record.state) == SlotState::writtenEmpty) {
    record.state = static_cast<std::uint8_t>(SlotState::empty);
    record.nextHop = 0;
    record.group = 0;
  }
  record.users = static_cast<SlotState>(record.state) == SlotState::empty ? 0 : 1;
  return record;
}

}  // namespace SimChip::ChipFile
