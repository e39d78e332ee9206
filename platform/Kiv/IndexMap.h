#pragma once
// Kiv::IndexMap<K, V>: a keyed collection of 32-bit hardware indices that
// keeps neighbouring indices in neighbouring memory. Its contract is
// HashMap2018's: lookup, insertion, deletion, member count, and iteration
// that tolerates the deletion of the member at the iterator.
//
// Keys are grouped in pages of 32 neighbouring indices, found through a
// hashed directory. A page holds one bit per index and the values of the
// indices present. While it has few members they are packed in index order
// inside the directory's own record, so a sparse key set costs one lookup and
// no allocation per page; once it has more, the page switches to one slot per
// index in an array of its own, so dense keys are reached by their slot and
// read in memory order. A page is made by the first insertion into it and
// freed with its last member; a page that went direct stays direct until
// then.
//
// Iteration visits pages in the directory's (unspecified) order and each
// page in index order. The iterator finds the next member before its current
// one is handed out, so code that walks the collection may delete the
// current key and carry on. Deleting other members, or inserting, while an
// iterator is live is not supported; an insertion that grows the directory
// is caught by an assertion when the iterator next moves. A value's address
// is valid until the next insertion or deletion in the collection.
//
// K is std::uint32_t or a type with a std::uint32_t `value` that converts
// from one (Asic::SwTableBase::Index).
#include <bit>
#include <boost/container/small_vector.hpp>
#include <boost/unordered/unordered_flat_map.hpp>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <utility>

#include "platform/Assert/Assert.h"

namespace Kiv {

template <class K, class V>
class IndexMap {
  static constexpr unsigned kPageBits = 5;
  static constexpr std::uint32_t kSlots = 1U << kPageBits;
  static constexpr std::uint32_t kSlotMask = kSlots - 1;
  // The most members a page keeps packed in its record.
  static constexpr std::size_t kPacked = 4;

  // std::popcount without a call: the portable x86-64 target has no popcount
  // instruction, and the library's fallback is an out-of-line function.
  static std::size_t bitsIn(std::uint32_t bits) noexcept {
    bits -= (bits >> 1) & 0x55555555U;
    bits = (bits & 0x33333333U) + ((bits >> 2) & 0x33333333U);
    return (((bits + (bits >> 4)) & 0x0F0F0F0FU) * 0x01010101U) >> 24;
  }

  // Pages move their values as members come and go.
  static_assert(std::is_nothrow_move_constructible_v<V> && std::is_nothrow_move_assignable_v<V>,
                "an IndexMap's values move without throwing");

  // Moving a page moves its values, whose moves do not throw (above).
  // NOLINTNEXTLINE(bugprone-exception-escape)
  struct Page {
    std::uint32_t present = 0;  // bit s: index (page number << kPageBits) + s is a member
    // Packed: one value per member, in index order. Direct: kSlots values,
    // one per slot; an absent slot's value is default-constructed.
    boost::container::small_vector<V, kPacked> values;

    bool direct() const noexcept { return values.size() == kSlots; }
    // Where the member in `slot` sits among the values.
    std::size_t positionOf(std::uint32_t slot) const noexcept {
      if (direct()) return slot;
      return bitsIn(present & ((std::uint32_t{1} << slot) - 1));
    }
    void makeDirect() {
      decltype(values) slots(kSlots);
      std::size_t packed = 0;
      for (std::uint32_t bits = present; bits != 0; bits &= bits - 1) {
        slots[static_cast<std::size_t>(std::countr_zero(bits))] = std::move(values[packed++]);
      }
      values.swap(slots);
    }
  };
  using Directory = boost::unordered_flat_map<std::uint32_t, Page>;
  using PagePos = typename Directory::const_iterator;

  static std::uint32_t indexOf(const K& key) noexcept {
    if constexpr (std::is_integral_v<K>) {
      return key;
    } else {
      return key.value;
    }
  }
  static std::uint32_t bitOf(std::uint32_t index) noexcept { return std::uint32_t{1} << (index & kSlotMask); }

  // The page that holds `index` as a member, or the directory's end; an
  // iterator or a const one, as the directory is.
  template <class Pages>
  static auto memberPage(Pages& pages, std::uint32_t index) {
    auto page = pages.find(index >> kPageBits);
    if (page != pages.end() && (page->second.present & bitOf(index)) == 0) return pages.end();
    return page;
  }

  // A member's place: its page and its slot in the page.
  struct Position {
    PagePos page{};
    std::uint32_t slot = 0;
  };
  // The first member of the page at `page` (pages are never empty).
  static Position firstFrom(const Directory& pages, PagePos page) noexcept {
    if (page == pages.end()) return {page, 0};
    return {page, static_cast<std::uint32_t>(std::countr_zero(page->second.present))};
  }
  // The member after `at`: later in its page, else the next page's first.
  static Position after(const Directory& pages, Position at) noexcept {
    const auto above = static_cast<std::uint32_t>(~((std::uint64_t{2} << at.slot) - 1));
    const std::uint32_t later = at.page->second.present & above;
    if (later != 0) return {at.page, static_cast<std::uint32_t>(std::countr_zero(later))};
    return firstFrom(pages, std::next(at.page));
  }

 public:
  using key_type = K;
  using mapped_type = V;

  // Forward iterator over the members; `*it` is a (key, value) pair. See the
  // class comment for what may change under it.
  class Iterator {
   public:
    Iterator() = default;
    K key() const noexcept { return K((current_.page->first << kPageBits) | current_.slot); }
    const V& value() const noexcept {
      const Page& page = current_.page->second;
      return page.values[page.positionOf(current_.slot)];
    }
    std::pair<K, const V&> operator*() const noexcept { return {key(), value()}; }
    Iterator& operator++() {
      QASSERT(pages_->bucket_count() == buckets_);
      current_ = next_;
      if (next_.page != pages_->end()) next_ = after(*pages_, next_);
      return *this;
    }
    bool operator==(const Iterator& other) const noexcept {
      return current_.page == other.current_.page && current_.slot == other.current_.slot;
    }

   private:
    friend class IndexMap;
    Iterator(const Directory* pages, Position at)
        : pages_(pages), current_(at), next_(at), buckets_(pages->bucket_count()) {
      if (next_.page != pages_->end()) next_ = after(*pages_, next_);
    }

    const Directory* pages_ = nullptr;
    Position current_;
    Position next_;
    std::size_t buckets_ = 0;
  };

  IndexMap() = default;

  std::size_t count() const noexcept { return count_; }
  bool empty() const noexcept { return count_ == 0; }
  bool has(const K& key) const { return find(key) != nullptr; }

  // The stored value, or null when the key is absent.
  V* find(const K& key) { return const_cast<V*>(std::as_const(*this).find(key)); }
  const V* find(const K& key) const {
    const std::uint32_t index = indexOf(key);
    auto page = memberPage(pages_, index);
    if (page == pages_.end()) return nullptr;
    return &page->second.values[page->second.positionOf(index & kSlotMask)];
  }

  // Inserts the key with a value built from args unless it is present.
  // Returns the stored value and whether it was inserted.
  template <class... Args>
  std::pair<V*, bool> tryEmplace(const K& key, Args&&... args) {
    const std::uint32_t index = indexOf(key);
    const std::uint32_t slot = index & kSlotMask;
    auto [page, made] = pages_.try_emplace(index >> kPageBits);
    Page& p = page->second;
    if ((p.present & bitOf(index)) != 0) return {&p.values[p.positionOf(slot)], false};
    try {
      // Built before the page moves anything, in case args refer into it.
      V value(std::forward<Args>(args)...);
      if (!p.direct() && p.values.size() == kPacked) p.makeDirect();
      V* stored = nullptr;
      if (p.direct()) {
        stored = &(p.values[slot] = std::move(value));
      } else {
        stored = &*p.values.emplace(p.values.begin() + static_cast<std::ptrdiff_t>(p.positionOf(slot)),
                                    std::move(value));
      }
      p.present |= bitOf(index);
      ++count_;
      return {stored, true};
    } catch (...) {
      if (made) pages_.erase(page);  // no empty page is ever kept
      throw;
    }
  }

  // Removes the key, moving its value into `out`. False when absent.
  bool extract(const K& key, V& out) { return remove(key, &out); }
  bool erase(const K& key) { return remove(key, nullptr); }
  // Empties the map before the values are released (see remove()).
  void clear() noexcept {
    Directory gone;
    gone.swap(pages_);
    count_ = 0;
  }

  Iterator begin() const { return Iterator(&pages_, firstFrom(pages_, pages_.begin())); }
  Iterator end() const { return Iterator(&pages_, {pages_.end(), 0}); }
  // An iterator positioned at the key, or end() when absent.
  Iterator iteratorAt(const K& key) const {
    const std::uint32_t index = indexOf(key);
    auto page = memberPage(pages_, index);
    if (page == pages_.end()) return end();
    return Iterator(&pages_, {page, index & kSlotMask});
  }

 private:
  // The removed value is released only after the map is consistent again,
  // so whatever its destruction runs may use the map.
  bool remove(const K& key, V* out) {
    const std::uint32_t index = indexOf(key);
    auto page = memberPage(pages_, index);
    if (page == pages_.end()) return false;
    Page& p = page->second;
    const std::size_t position = p.positionOf(index & kSlotMask);
    V removed = std::move(p.values[position]);
    if (p.direct()) {
      p.values[position] = V();
    } else {
      p.values.erase(p.values.begin() + static_cast<std::ptrdiff_t>(position));
    }
    p.present &= ~bitOf(index);
    --count_;
    if (p.present == 0) pages_.erase(page);
    if (out != nullptr) *out = std::move(removed);
    return true;
  }

  Directory pages_;
  std::size_t count_ = 0;
};

}  // namespace Kiv
