// Fuzzes the simulated chip's file loader: Chip::open on a chip file whose
// bytes are the input.
//
// A file that does not fit must be refused with a ChipError that names the
// file, and must be left exactly as it was. A file that is accepted must
// give a consistent chip: every slot in a known state, no delete left in
// flight, one index user for every allocated slot and none elsewhere.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "plugins/simchip/Chip.h"
#include "tests/support/Support.h"

namespace {

using Bytes = std::vector<char>;

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
  static const VelarTest::TempDir dir(true);  // in memory where the system offers it
  static const std::string path = dir.file("unit0.chip");
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
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
