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

using ChipFile::Header;

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

// A read-only view of a whole file, unmapped when it goes.
class ReadOnlyMapping {
 public:
  ReadOnlyMapping(const std::string& path, int fd, std::size_t bytes) : bytes_(bytes) {
    base_ = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd, 0);
    if (base_ == MAP_FAILED) refuse(path, "cannot map the file for reading: " + errnoText(errno));
  }
  ReadOnlyMapping(const ReadOnlyMapping&) = delete;
  ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;
  ~ReadOnlyMapping() { ::munmap(base_, bytes_); }
  const void* base() const noexcept { return base_; }

 private:
  void* base_;
  std::size_t bytes_;
};

void* mapShared(const std::string& path, int fd, std::size_t bytes) {
  void* base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) refuse(path, "cannot map the file: " + errnoText(errno));
  return base;
}

void writeHeader(void* base, std::uint32_t entries) noexcept {
  const Header header = ChipFile::newHeader(entries);
  std::memcpy(base, &header, sizeof header);
}

void checkRequest(const std::string& path, std::uint32_t entries) {
  if (entries > kMaxEntries) {
    refuse(path, fmt::format("{} entries requested, at most {} supported", entries, kMaxEntries));
  }
}

// Checks an existing chip file, header and records, through a read-only
// descriptor: nothing is opened for writing before the file has passed.
// Returns the entry count; `checked` is what the file was when checked;
// `records`, when given, receives every record as read.
std::uint32_t checkFile(const std::string& path, int fd, std::uint32_t requested, struct stat& checked,
                        std::vector<ChipFile::Record>* records = nullptr) {
  if (::fstat(fd, &checked) != 0) refuse(path, "cannot stat the file: " + errnoText(errno));
  if (!S_ISREG(checked.st_mode)) refuse(path, "not a regular file");
  const auto size = static_cast<std::uint64_t>(checked.st_size);
  if (size < sizeof(Header)) {
    refuse(path, fmt::format("wrong size: {} bytes is too small for a chip header ({} bytes)", size,
                             sizeof(Header)));
  }
  Header header{};
  if (::pread(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    refuse(path, "cannot read the chip header: " + errnoText(errno));
  }
  if (auto problem = ChipFile::headerProblem(header, size); !problem.empty()) refuse(path, problem);
  if (requested != 0 && requested != header.entries) {
    refuse(path, fmt::format("wrong size: the chip has {} entries, {} requested", header.entries,
                             requested));
  }
  const ReadOnlyMapping file(path, fd, static_cast<std::size_t>(size));
  const auto* stored = static_cast<const unsigned char*>(file.base()) + sizeof(Header);
  if (records != nullptr) records->reserve(header.entries);
  for (std::uint32_t i = 0; i < header.entries; ++i) {
    ChipFile::Record record;
    std::memcpy(&record, stored + std::size_t{i} * sizeof record, sizeof record);
    if (auto problem = ChipFile::recordProblem(record, i); !problem.empty()) refuse(path, problem);
    if (records != nullptr) records->push_back(record);
  }
  return header.entries;
}

// Opens the checked file for writing; refuses a file that is no longer the
// one checked (replaced or resized in between).
int openChecked(const std::string& path, const struct stat& checked) {
  FdGuard fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (fd.get() < 0) refuse(path, "cannot open for writing: " + errnoText(errno));
  struct stat now {};
  if (::fstat(fd.get(), &now) != 0) refuse(path, "cannot stat the file: " + errnoText(errno));
  if (now.st_dev != checked.st_dev || now.st_ino != checked.st_ino || now.st_size != checked.st_size) {
    refuse(path, "the file changed while it was being checked");
  }
  return fd.release();
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
    FdGuard readOnly(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (readOnly.get() >= 0) {
      struct stat checked {};
      const std::uint32_t count = checkFile(path, readOnly.get(), entries, checked);
      FdGuard fd(openChecked(path, checked));
      const std::size_t bytes = ChipFile::fileBytes(count);
      void* base = mapShared(path, fd.get(), bytes);
      std::shared_ptr<Chip> chip(new Chip(path, count, fd.release(), base, bytes));
      // Recovery after an agent stopped (or was killed) mid-way.
      for (std::uint32_t i = 0; i < count; ++i) *chip->record(i) = ChipFile::recovered(*chip->record(i));
      return chip;
    }
    if (errno != ENOENT) refuse(path, "cannot open: " + errnoText(errno));

    FdGuard created(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (created.get() < 0) {
      if (errno == EEXIST) continue;
      refuse(path, "cannot create: " + errnoText(errno));
    }
    const std::uint32_t count = entries == 0 ? kDefaultEntries : entries;
    const std::size_t bytes = ChipFile::fileBytes(count);
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
  const std::size_t bytes = ChipFile::fileBytes(entries);
  void* base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) refuse("(anonymous)", "cannot map memory: " + errnoText(errno));
  writeHeader(base, entries);
  return std::shared_ptr<Chip>(new Chip(std::string(), entries, -1, base, bytes));
}

std::vector<ChipFile::Record> Chip::recoveredRecords(const std::string& path) {
  FdGuard fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) refuse(path, "cannot open for reading: " + errnoText(errno));
  struct stat checked {};
  std::vector<ChipFile::Record> records;
  checkFile(path, fd.get(), 0, checked, &records);
  for (auto& record : records) record = ChipFile::recovered(record);
  return records;
}

Slot Chip::slotOf(const Record& r) noexcept {
  Slot s;
  s.state = static_cast<SlotState>(r.state);
  if (s.state == SlotState::valid) {
    s.nextHop = r.nextHop;
    s.group = r.group;
  }
  return s;
}

Chip::Record* Chip::record(std::uint32_t index) const noexcept {
  void* first = static_cast<char*>(base_) + sizeof(Header);
  return static_cast<Record*>(first) + index;
}

Slot Chip::slot(std::uint32_t index) const noexcept { return slotOf(*record(index)); }

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
