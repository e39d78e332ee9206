// Fuzzes the simulated chip's file loader: Chip::open on a chip file whose
// bytes are the input.
//
// A file that does not fit must be refused with a ChipError that names the
// file, and must be left exactly as it was. A file that is accepted must
// give a consistent chip: every slot in a known state, no delete left in
// flight, one index user for every allocated slot and none elsewhere.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "plugins/simchip/Chip.h"

namespace {

using Bytes = std::vector<char>;

// A directory of the run's own, in memory where the system offers it.
class Scratch {
 public:
  Scratch() {
    std::filesystem::path base = std::filesystem::temp_directory_path();
    if (::access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    std::string pattern = (base / "chip-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) VelarFuzz::failed("mkdtemp", __FILE__, __LINE__, pattern);
    dir_ = pattern;
    file_ = (dir_ / "unit0.chip").string();
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& file() const noexcept { return file_; }

 private:
  std::filesystem::path dir_;
  std::string file_;
};

const Scratch& scratch() {
  static const Scratch instance;
  return instance;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  FUZZ_CHECK(fd >= 0, path);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0, path);
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void checkOpened(const SimChip::Chip& chip, std::size_t size) {
  FUZZ_CHECK(chip.entries() >= 1 && chip.entries() <= SimChip::kMaxEntries);
  FUZZ_CHECK(size == 64 + std::size_t{chip.entries()} * 12, "accepted a file of the wrong size");
  for (std::uint32_t i = 0; i <= chip.maxIndex(); ++i) {
    const SimChip::Slot slot = chip.slot(i);
    FUZZ_CHECK(slot.state == SimChip::SlotState::empty || slot.state == SimChip::SlotState::valid,
               "slot " + std::to_string(i) + " left " + SimChip::slotStateName(slot.state));
    FUZZ_CHECK(chip.users(i) == (slot.allocated() ? 1u : 0u), "slot " + std::to_string(i));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = scratch().file();
  writeFile(path, data, size);
  try {
    auto chip = SimChip::Chip::open(path);
    checkOpened(*chip, size);
  } catch (const SimChip::ChipError& e) {
    FUZZ_CHECK(e.path() == path);
    FUZZ_CHECK(std::string(e.what()).find(path) != std::string::npos, e.what());
    const Bytes now = readFile(path);
    FUZZ_CHECK(now.size() == size && std::equal(now.begin(), now.end(), reinterpret_cast<const char*>(data)),
               std::string("a refused file was changed: ") + e.what());
  }
  return 0;
}
