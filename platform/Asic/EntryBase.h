#pragma once
// Base of every table's entry value: a small polymorphic value with the
// framework's block size and hash helpers.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace Asic {

class EntryBase {
 public:
  // The framework's default block size: one hardware slot per entry.
  static constexpr std::uint32_t kDefaultBlockSize = 1;

  EntryBase() noexcept = default;
  EntryBase(const EntryBase&) noexcept = default;
  EntryBase& operator=(const EntryBase&) noexcept = default;
  virtual ~EntryBase() = default;

  virtual std::uint32_t getBlockSize() const noexcept { return kDefaultBlockSize; }

 protected:
  // Mixes the hashes of an entry's compared fields into `seed`.
  template <class... Fields>
  static std::size_t hashFields(std::size_t seed, const Fields&... fields) noexcept {
    ((seed = mix(seed, std::hash<Fields>()(fields))), ...);
    return seed;
  }

 private:
  static std::size_t mix(std::size_t seed, std::size_t value) noexcept {
    // 64-bit variant of the boost::hash_combine step.
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 12) + (seed >> 4);
    return seed;
  }
};

}  // namespace Asic
