#pragma once
// The merged, read-only view of a table's committed entries.
//
// A committed entry lives in the table's unresolvedEntry collection while
// its dependent field is being resolved and in resolvedEntry afterwards. The
// view yields each committed key once: all unresolved entries first, then the
// resolved entries that are neither hidden by an unresolved entry of the same
// key nor empty (a resolved slot without value is a delete in flight, not an
// entry). Within each phase the order is the collection's own.
#include <variant>

#include "platform/Asic/SwTable.h"

namespace Asic {

template <class Table>
class SwTable::EntryIteratorConst {
  using UnresolvedPos = typename std::remove_cvref_t<decltype(std::declval<const Table&>().unresolvedEntryColl())>::Iterator;
  using ResolvedPos = typename std::remove_cvref_t<decltype(std::declval<const Table&>().resolvedEntryColl())>::Iterator;

 public:
  using Index = SwTableBase::Index;
  using Entry = typename Table::Entry;

  // From the first committed entry.
  explicit EntryIteratorConst(const Table* table) : table_(table) {
    const auto& unresolved = table_->unresolvedEntryColl();
    if (!unresolved.empty()) {
      position_ = unresolved.begin();
      return;
    }
    position_ = table_->resolvedEntryColl().begin();
    skip();
  }

  // At the key, or at the end when nothing is committed there (no scanning).
  EntryIteratorConst(const Table* table, Index key) : table_(table) {
    if (auto at = table_->unresolvedEntryColl().iteratorAt(key); at != table_->unresolvedEntryColl().end()) {
      position_ = at;
      return;
    }
    const auto& resolved = table_->resolvedEntryColl();
    if (auto at = resolved.iteratorAt(key); at != resolved.end() && at.value().present()) {
      position_ = at;
    }
  }

  bool isEnd() const noexcept { return std::holds_alternative<std::monostate>(position_); }

  Index key() const {
    if (const auto* u = std::get_if<UnresolvedPos>(&position_)) return u->value()->key();
    return std::get<ResolvedPos>(position_).key();
  }

  Entry entry() const {
    if (const auto* u = std::get_if<UnresolvedPos>(&position_)) return u->value()->entry();
    return std::get<ResolvedPos>(position_).value().value();
  }

  void advance() {
    if (auto* u = std::get_if<UnresolvedPos>(&position_)) {
      ++*u;
      if (*u != table_->unresolvedEntryColl().end()) return;
      position_ = table_->resolvedEntryColl().begin();
      skip();
    } else if (auto* r = std::get_if<ResolvedPos>(&position_)) {
      ++*r;
      skip();
    }
  }

 private:
  // Resolved phase: moves to the first slot at or after the position that
  // holds a value and is not hidden by an unresolved entry; the end if none.
  void skip() {
    auto& r = std::get<ResolvedPos>(position_);
    const auto end = table_->resolvedEntryColl().end();
    const auto& unresolved = table_->unresolvedEntryColl();
    for (; r != end; ++r) {
      if (r.value().present() && !unresolved.has(r.key())) return;
    }
    position_ = std::monostate();
  }

  const Table* table_;
  std::variant<std::monostate, UnresolvedPos, ResolvedPos> position_;
};

}  // namespace Asic
