#pragma once
// Kiv::HashMap2018<K, V>: the runtime's keyed hash collection.
//
// Backed by boost::unordered_flat_map (open addressing; erasing never moves
// other members). Iteration order is unspecified. Iteration tolerates the
// deletion of the member at the iterator: the iterator has already found the
// next member before its current one is handed out, so code that walks the
// collection may delete the current key (directly or through a mutator) and
// carry on. Deleting other members, or inserting, while an iterator is live is
// not supported; an insertion that grows the table is caught by an assertion
// when the iterator next moves.
#include <boost/unordered/unordered_flat_map.hpp>
#include <cstddef>
#include <functional>
#include <utility>

#include "platform/Assert/Assert.h"

namespace Kiv {

template <class K, class V, class Hash = boost::hash<K>, class Eq = std::equal_to<K>>
class HashMap2018 {
  using Map = boost::unordered_flat_map<K, V, Hash, Eq>;

 public:
  using key_type = K;
  using mapped_type = V;
  using value_type = typename Map::value_type;

  // Forward iterator over (key, value) pairs; see the class comment for what
  // may change under it.
  class Iterator {
   public:
    Iterator() = default;
    const value_type& operator*() const noexcept { return *current_; }
    const value_type* operator->() const noexcept { return &*current_; }
    const K& key() const noexcept { return current_->first; }
    const V& value() const noexcept { return current_->second; }
    Iterator& operator++() {
      QASSERT(map_->bucket_count() == buckets_);
      current_ = next_;
      if (next_ != map_->end()) ++next_;
      return *this;
    }
    bool operator==(const Iterator& other) const noexcept { return current_ == other.current_; }

   private:
    friend class HashMap2018;
    Iterator(const Map* map, typename Map::const_iterator at)
        : map_(map), current_(at), next_(at), buckets_(map->bucket_count()) {
      if (next_ != map_->end()) ++next_;
    }
    const Map* map_ = nullptr;
    typename Map::const_iterator current_{};
    typename Map::const_iterator next_{};
    std::size_t buckets_ = 0;
  };

  HashMap2018() = default;

  std::size_t count() const noexcept { return map_.size(); }
  bool empty() const noexcept { return map_.empty(); }
  bool has(const K& key) const { return map_.find(key) != map_.end(); }

  // The stored value, or null when the key is absent.
  V* find(const K& key) {
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : &it->second;
  }
  const V* find(const K& key) const {
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : &it->second;
  }

  // Inserts the key with a value built from args unless it is present.
  // Returns the stored value and whether it was inserted; one lookup.
  template <class... Args>
  std::pair<V*, bool> tryEmplace(const K& key, Args&&... args) {
    auto [it, inserted] = map_.try_emplace(key, std::forward<Args>(args)...);
    return {&it->second, inserted};
  }

  // Removes the key, moving its value into `out`. False when absent.
  bool extract(const K& key, V& out) {
    auto it = map_.find(key);
    if (it == map_.end()) return false;
    out = std::move(it->second);
    map_.erase(it);
    return true;
  }
  bool erase(const K& key) { return map_.erase(key) != 0; }
  void clear() noexcept { map_.clear(); }
  void reserve(std::size_t n) { map_.reserve(n); }

  Iterator begin() const { return Iterator(&map_, map_.begin()); }
  Iterator end() const { return Iterator(&map_, map_.end()); }
  // An iterator positioned at the key, or end() when absent.
  Iterator iteratorAt(const K& key) const { return Iterator(&map_, map_.find(key)); }

 private:
  Map map_;
};

}  // namespace Kiv
