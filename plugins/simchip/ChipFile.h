#pragma once
// SimChip::ChipFile: the simulated chip's file format, and what a file must
// satisfy before a chip maps it.
//
// Layout (little-endian, native alignment):
//
//   Header       64 bytes: magic "VLDVPSIM", version, header and record
//                sizes, entry count, minIndex, header checksum, reserved
//                words (zero)
//   Record[n]    12 bytes each, one per hardware index from minIndex:
//                  u32 users    the index user count (see SimChipUtil.h): 0 or 1
//                  u32 nextHop  localPortNextHop of a valid slot, else 0
//                  u8  state    SlotState
//                  u8  group    dvpNetworkGroup of a valid slot, else 0
//                  u8  pad[2]   zero
//
// The header is written once, when the chip is created, and carries a
// CRC-32 of itself (taken with the checksum field zero), so a header damaged
// afterwards is told from one of another format. The records change with
// every write and carry no checksum; each must be a state the chip itself
// can leave behind.
#include <cstddef>
#include <cstdint>
#include <string>

namespace SimChip {

// Upper bound on the size of a chip (192 MiB of records).
inline constexpr std::uint32_t kMaxEntries = 1u << 24;

namespace ChipFile {

inline constexpr char kMagic[8] = {'V', 'L', 'D', 'V', 'P', 'S', 'I', 'M'};
// 1: without header checksum.
inline constexpr std::uint32_t kVersion = 2;

struct Header {
  char magic[8];
  std::uint32_t version;
  std::uint32_t headerBytes;
  std::uint32_t recordBytes;
  std::uint32_t entries;
  std::uint32_t minIndex;
  std::uint32_t checksum;
  std::uint32_t reserved[8];
};
static_assert(sizeof(Header) == 64);

struct Record {
  std::uint32_t users;
  std::uint32_t nextHop;
  std::uint8_t state;
  std::uint8_t group;
  std::uint8_t pad[2];
};
static_assert(sizeof(Record) == 12);

// The size of a file of `entries` records.
std::size_t fileBytes(std::uint32_t entries) noexcept;

// The header of a new chip of `entries` records, its checksum set.
Header newHeader(std::uint32_t entries) noexcept;

// CRC-32 (the polynomial of zlib and Ethernet) of the header with its
// checksum field taken as zero.
std::uint32_t checksumOf(const Header& header) noexcept;

// What is wrong with a file of `fileSize` bytes that starts with `header`,
// or an empty string when nothing is. Checked in this order: magic (a file
// of another kind), version (another format), checksum (a damaged header),
// layout and entry count (a header this chip never writes), file size (a
// truncated or extended file).
std::string headerProblem(const Header& header, std::uint64_t fileSize);

// What is wrong with the record of `index`, or an empty string when nothing
// is.
std::string recordProblem(const Record& record, std::uint32_t index);

// The record as an agent that opens the chip finds it: a slot written empty
// is a delete the previous agent never finished (it holds no value and
// nobody will claim it), so it reads as empty; and the index users are
// recounted, one for every allocated slot, so a count left by an agent
// killed between a tracker report and its write is dropped.
Record recovered(const Record& stored) noexcept;

}  // namespace ChipFile
}  // namespace SimChip
