#pragma once
// A generic software table of another feature whose entries tables like the
// local DVP table depend on (next hops, say). Its handles carry a hardware
// index and an entry state that the owner (a test, the agent) sets; every
// change reaches the watchers of dependent tables after the current
// operation returns (see UnresolvedEntry.h), and index suggestions made to a
// handle are kept for the owner to read.
#include <cstdint>

#include "platform/Asic/SwTable.h"
#include "platform/Kiv/HashMap2018.h"

namespace Asic {

class NeededEntryTable : public SwTable {
 public:
  class Handle : public SwTable::EntryHandle {
   public:
    explicit Handle(std::uint32_t key) noexcept : key_(key) {}
    std::uint32_t key() const noexcept { return key_; }
    std::uint32_t suggestionRuns() const noexcept { return suggestionRuns_; }
    void handleIndexSuggestions() override { ++suggestionRuns_; }

   private:
    ~Handle() override { nodeFlagSet(kFlagLive, false); }
    std::uint32_t key_;
    std::uint32_t suggestionRuns_ = 0;
  };

  static Quill::Ptr<NeededEntryTable> NeededEntryTableIs(Quill::String name);

  // The key's handle, created (no index, entry state unresolved) if needed.
  Quill::Ptr<Handle> handleIs(std::uint32_t key);
  Quill::Ptr<Handle> handle(std::uint32_t key) const;
  bool handleDel(std::uint32_t key) { return handles_.erase(key); }
  std::size_t handles() const noexcept { return handles_.count(); }

  // The entry got a hardware index: index set, entry state success.
  void readyIs(std::uint32_t key, Asic::Index index);
  // The entry failed: entry state failedNeededEntry (the index stays).
  void failedIs(std::uint32_t key);

  Quill::Ptr<SwTableBase::EntryHandle> entryHandleBase(SwTableBase::Index key) const override;

 private:
  explicit NeededEntryTable(Quill::String name) : SwTable(std::move(name)) {}
  ~NeededEntryTable() override { nodeFlagSet(kFlagLive, false); }

  Kiv::HashMap2018<std::uint32_t, Quill::Ptr<Handle>> handles_;
};

}  // namespace Asic
