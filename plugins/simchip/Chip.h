#pragma once
// SimChip::Chip: the simulated chip's hardware table of local DVP entries.
//
// A chip keeps its table in a file mapped shared into the process, so that
// what the agent programmed survives an agent restart exactly as it would on
// a real chip, and another process sees it; a chip without a file lives in
// anonymous memory and ends with the process.
//
// The file format is ChipFile.h. Opening an existing file checks it whole,
// header and every record, through a read-only descriptor before it is
// opened for writing; a file that does not fit (truncated or extended, of
// another kind or format, a damaged header, a record the chip never writes,
// not a regular file) is refused with a ChipError naming the path and the
// problem, and is left as it was. A missing file is created (its directory
// must exist).
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugins/simchip/ChipFile.h"
#include "plugins/simchip/SimChipControl.h"

namespace SimChip {

inline constexpr std::uint32_t kDefaultEntries = 65536;

// A chip that cannot be opened or created.
class ChipError : public std::runtime_error {
 public:
  ChipError(std::string path, const std::string& problem);
  const std::string& path() const noexcept { return path_; }

 private:
  std::string path_;
};

class Chip {
 public:
  // Opens the chip file at `path`, creating it with `entries` (0: the default
  // size) when it is missing. An existing file keeps its size; asking for a
  // different non-zero size is refused.
  static std::shared_ptr<Chip> open(const std::string& path, std::uint32_t entries = 0);
  // A chip in anonymous memory, all slots empty.
  static std::shared_ptr<Chip> anonymous(std::uint32_t entries = kDefaultEntries);
  // What an agent that opened the chip file at `path` would find, one record
  // per index (ChipFile::recovered), read through a read-only descriptor:
  // the file is checked as open() checks it, and neither its bytes nor its
  // modification time change. A missing file is refused.
  static std::vector<ChipFile::Record> recoveredRecords(const std::string& path);

  Chip(const Chip&) = delete;
  Chip& operator=(const Chip&) = delete;
  ~Chip();

  // The chip file; empty for anonymous memory.
  const std::string& location() const noexcept { return location_; }
  std::uint32_t entries() const noexcept { return entries_; }
  std::uint32_t minIndex() const noexcept { return 0; }
  std::uint32_t maxIndex() const noexcept { return entries_ - 1; }
  bool inRange(std::uint32_t index) const noexcept { return index <= maxIndex(); }

  // Slots. Every accessor requires inRange(index).
  Slot slot(std::uint32_t index) const noexcept;
  void valueIs(std::uint32_t index, std::uint8_t group, std::uint32_t nextHop) noexcept;
  // Allocated, written without a value.
  void emptyValueIs(std::uint32_t index) noexcept;
  void slotClear(std::uint32_t index) noexcept;

  // The index user count.
  std::uint32_t users(std::uint32_t index) const noexcept;
  void usersIs(std::uint32_t index, std::uint32_t users) noexcept;

  // Pushes the mapping to the file (the kernel does so anyway; this is for a
  // caller that wants it on disk now).
  void flush() const;

  using Record = ChipFile::Record;
  // A record as a slot.
  static Slot slotOf(const Record& record) noexcept;

 private:
  Chip(std::string location, std::uint32_t entries, int fd, void* base, std::size_t bytes) noexcept;
  Record* record(std::uint32_t index) const noexcept;

  std::string location_;
  std::uint32_t entries_;
  int fd_;
  void* base_;
  std::size_t bytes_;
};

// The chip of a location shared by everybody in the process that recovers
// it: the same location gives the same chip while anybody holds it. An empty
// location gives a fresh anonymous chip every time. `entries` as for open();
// an open chip of another size is refused.
std::shared_ptr<Chip> sharedChip(const std::string& location, std::uint32_t entries);

}  // namespace SimChip
