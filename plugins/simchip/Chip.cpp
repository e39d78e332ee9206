#include "plugins/simchip/Chip.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

namespace SimChip {

namespace {

struct FileHeader {
  char magic[8];
  std::uint32_t version;
  std::uint32_t headerBytes;
  std::uint32_t recordBytes;
  std::uint32_t entries;
  std::uint32_t minIndex;
  std::uint32_t reserved[9];
};
static_assert(sizeof(FileHeader) == 64);

std::string errnoText(int err) { return std::system_category().message(err); }

[[noreturn]] void refuse(const std::string& path, const std::string& problem) {
  throw ChipError(path, problem);
}

// Closes a descriptor on every way out of open() that does not hand it over.
class FdGuard {
 public:
  explicit FdGuard(int fd) noexcept : fd_(fd) {}
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  ~FdGuard() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }
  int release() noexcept { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace

struct Chip::Record {
  std::uint32_t users;
  std::uint32_t nextHop;
  std::uint8_t state;
  std::uint8_t group;
  std::uint8_t pad[2];
};
static_assert(sizeof(Chip::Record) == 12);

namespace {

std::size_t fileBytes(std::uint32_t entries) noexcept {
  return sizeof(FileHeader) + std::size_t{entries} * sizeof(Chip::Record);
}

void* mapShared(const std::string& path, int fd, std::size_t bytes) {
  void* base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) refuse(path, "cannot map the file: " + errnoText(errno));
  return base;
}

void writeHeader(void* base, std::uint32_t entries) noexcept {
  FileHeader header{};
  std::memcpy(header.magic, Chip::kMagic, sizeof header.magic);
  header.version = Chip::kVersion;
  header.headerBytes = sizeof(FileHeader);
  header.recordBytes = sizeof(Chip::Record);
  header.entries = entries;
  header.minIndex = 0;
  std::memcpy(base, &header, sizeof header);
}

void checkRequest(const std::string& path, std::uint32_t entries) {
  if (entries > kMaxEntries) {
    refuse(path, fmt::format("{} entries requested, at most {} supported", entries, kMaxEntries));
  }
}

// Checks an existing chip file; throws before anything is written.
std::uint32_t checkHeader(const std::string& path, int fd, std::uint32_t requested) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) refuse(path, "cannot stat the file: " + errnoText(errno));
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size < sizeof(FileHeader)) {
    refuse(path, fmt::format("wrong size: {} bytes is too small for a chip header ({} bytes)", size,
                             sizeof(FileHeader)));
  }
  FileHeader header{};
  if (::pread(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    refuse(path, "cannot read the chip header: " + errnoText(errno));
  }
  if (std::memcmp(header.magic, Chip::kMagic, sizeof header.magic) != 0) {
    refuse(path, "wrong magic: not a simulated chip file");
  }
  if (header.version != Chip::kVersion) {
    refuse(path, fmt::format("wrong version {}, expected {}", header.version, Chip::kVersion));
  }
  if (header.headerBytes != sizeof(FileHeader) || header.recordBytes != sizeof(Chip::Record) ||
      header.minIndex != 0) {
    refuse(path, fmt::format("wrong layout: header {} bytes, record {} bytes, minIndex {}; "
                             "expected {}, {}, 0",
                             header.headerBytes, header.recordBytes, header.minIndex,
                             sizeof(FileHeader), sizeof(Chip::Record)));
  }
  if (header.entries == 0 || header.entries > kMaxEntries) {
    refuse(path, fmt::format("wrong entry count {} (1 to {})", header.entries, kMaxEntries));
  }
  if (size != fileBytes(header.entries)) {
    refuse(path, fmt::format("wrong size: {} bytes, expected {} for {} entries", size,
                             fileBytes(header.entries), header.entries));
  }
  if (requested != 0 && requested != header.entries) {
    refuse(path, fmt::format("wrong size: the chip has {} entries, {} requested", header.entries,
                             requested));
  }
  return header.entries;
}

}  // namespace

ChipError::ChipError(std::string path, const std::string& problem)
    : std::runtime_error(fmt::format("simulated chip {}: {}", path, problem)),
      path_(std::move(path)) {}

Chip::Chip(std::string location, std::uint32_t entries, int fd, void* base,
           std::size_t bytes) noexcept
    : location_(std::move(location)), entries_(entries), fd_(fd), base_(base), bytes_(bytes) {}

Chip::~Chip() {
  ::munmap(base_, bytes_);
  if (fd_ >= 0) ::close(fd_);
}

std::shared_ptr<Chip> Chip::open(const std::string& path, std::uint32_t entries) {
  if (path.empty()) return anonymous(entries == 0 ? kDefaultEntries : entries);
  checkRequest(path, entries);
  // A file created by somebody else between our two attempts is opened as an
  // existing one.
  for (int attempt = 0; attempt < 2; ++attempt) {
    FdGuard fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() >= 0) {
      const std::uint32_t count = checkHeader(path, fd.get(), entries);
      const std::size_t bytes = fileBytes(count);
      void* base = mapShared(path, fd.get(), bytes);
      std::shared_ptr<Chip> chip(new Chip(path, count, fd.release(), base, bytes));
      for (std::uint32_t i = 0; i < count; ++i) {
        if (auto state = chip->record(i)->state;
            state > static_cast<std::uint8_t>(SlotState::writtenEmpty)) {
          refuse(path, fmt::format("corrupt record {}: slot state {}", i, state));
        }
      }
      // Recovery after an agent stopped (or was killed) mid-way:
      //  * a slot written empty is a delete the agent never finished (it
      //    holds no value and nobody will claim it): the delete completes;
      //  * the index users are recovered with the table, one for every
      //    allocated slot, so a count left by an agent killed between a
      //    tracker report and its write is dropped.
      for (std::uint32_t i = 0; i < count; ++i) {
        if (chip->slot(i).state == SlotState::writtenEmpty) chip->slotClear(i);
        chip->record(i)->users = chip->slot(i).allocated() ? 1 : 0;
      }
      return chip;
    }
    if (errno != ENOENT) refuse(path, "cannot open: " + errnoText(errno));

    FdGuard created(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (created.get() < 0) {
      if (errno == EEXIST) continue;
      refuse(path, "cannot create: " + errnoText(errno));
    }
    const std::uint32_t count = entries == 0 ? kDefaultEntries : entries;
    const std::size_t bytes = fileBytes(count);
    try {
      if (::ftruncate(created.get(), static_cast<off_t>(bytes)) != 0) {
        refuse(path, "cannot size the new file: " + errnoText(errno));
      }
      void* base = mapShared(path, created.get(), bytes);
      writeHeader(base, count);
      return std::shared_ptr<Chip>(new Chip(path, count, created.release(), base, bytes));
    } catch (...) {
      ::unlink(path.c_str());  // ours, and useless half made
      throw;
    }
  }
  refuse(path, "cannot open: the file keeps appearing and disappearing");
}

std::shared_ptr<Chip> Chip::anonymous(std::uint32_t entries) {
  checkRequest("(anonymous)", entries);
  if (entries == 0) refuse("(anonymous)", "a chip needs at least one entry");
  const std::size_t bytes = fileBytes(entries);
  void* base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) refuse("(anonymous)", "cannot map memory: " + errnoText(errno));
  writeHeader(base, entries);
  return std::shared_ptr<Chip>(new Chip(std::string(), entries, -1, base, bytes));
}

Chip::Record* Chip::record(std::uint32_t index) const noexcept {
  void* first = static_cast<char*>(base_) + sizeof(FileHeader);
  return static_cast<Record*>(first) + index;
}

Slot Chip::slot(std::uint32_t index) const noexcept {
  const Record* r = record(index);
  Slot s;
  s.state = static_cast<SlotState>(r->state);
  if (s.state == SlotState::valid) {
    s.nextHop = r->nextHop;
    s.group = r->group;
  }
  return s;
}

void Chip::valueIs(std::uint32_t index, std::uint8_t group, std::uint32_t nextHop) noexcept {
  Record* r = record(index);
  r->nextHop = nextHop;
  r->group = group;
  r->state = static_cast<std::uint8_t>(SlotState::valid);
}

void Chip::emptyValueIs(std::uint32_t index) noexcept {
  Record* r = record(index);
  r->nextHop = 0;
  r->group = 0;
  r->state = static_cast<std::uint8_t>(SlotState::writtenEmpty);
}

void Chip::slotClear(std::uint32_t index) noexcept {
  Record* r = record(index);
  r->nextHop = 0;
  r->group = 0;
  r->state = static_cast<std::uint8_t>(SlotState::empty);
}

std::uint32_t Chip::users(std::uint32_t index) const noexcept { return record(index)->users; }

void Chip::usersIs(std::uint32_t index, std::uint32_t users) noexcept {
  record(index)->users = users;
}

void Chip::flush() const {
  if (fd_ < 0) return;
  if (::msync(base_, bytes_, MS_SYNC) != 0) refuse(location_, "cannot flush: " + errnoText(errno));
}

std::shared_ptr<Chip> sharedChip(const std::string& location, std::uint32_t entries) {
  if (location.empty()) return Chip::anonymous(entries == 0 ? kDefaultEntries : entries);

  static std::mutex mutex;
  static std::map<std::string, std::weak_ptr<Chip>> chips;

  std::error_code ec;
  std::string key = std::filesystem::weakly_canonical(location, ec).string();
  if (ec) key = location;

  std::lock_guard lock(mutex);
  if (auto it = chips.find(key); it != chips.end()) {
    if (auto chip = it->second.lock()) {
      if (entries != 0 && entries != chip->entries()) {
        refuse(location, fmt::format("wrong size: the chip has {} entries, {} requested",
                                     chip->entries(), entries));
      }
      return chip;
    }
  }
  auto chip = Chip::open(location, entries);
  chips[key] = chip;
  return chip;
}

}  // namespace SimChip
