// dvp-example: one entry's way through the local DVP table's collections.
//
// The program creates a table, binds a handle to a key, parks an entry as
// unresolved while its next hop has no hardware index, resolves it once the
// next hop has one, supersedes it with a new value (the old one waits on the
// handle's pending queue), and tears everything down. Each step prints what
// the table published, as an observer of the table sees it.
#include <cstdio>
#include <string>

#include "VelarL3Vfi/LocalDvpTable.h"
#include "platform/Kiv/CharRange.h"

namespace {

using VelarL3Vfi::LocalDvpTable;
using Entry = LocalDvpTable::Entry;
using Index = Asic::SwTableBase::Index;

// A handle of the next-hop table that our entries depend on.
class NextHopHandle : public Asic::SwTable::EntryHandle {
 public:
  explicit NextHopHandle(Asic::Index hwIndex) { hwIndexIs(hwIndex); }

 private:
  ~NextHopHandle() override { nodeFlagSet(kFlagLive, false); }
};

std::string describe(const Kiv::Optional<Entry>& value) {
  return value.present() ? value->toStrep() : std::string("(no value)");
}

// Prints every change of the table in words.
class Narrator : public Quill::Observer {
 public:
  void onChange(const Quill::Change& c) override {
    auto key = c.key ? static_cast<const Index*>(c.key)->value : 0;
    switch (c.field) {
      case LocalDvpTable::kResolvedEntryId:
        std::printf("  published resolvedEntry[%u]   (was %s)\n", key,
                    describe(*static_cast<const Kiv::Optional<Entry>*>(c.previous)).c_str());
        break;
      case LocalDvpTable::kEntryHandleId:
        std::printf("  published entryHandle[%u]     (%s)\n", key,
                    static_cast<const Quill::Ptr<LocalDvpTable::EntryHandle>*>(c.previous)->get()
                        ? "removed"
                        : "created");
        break;
      case LocalDvpTable::kUnresolvedEntryId:
        std::printf("  published unresolvedEntry[%u] (%s)\n", key,
                    static_cast<const Quill::Ptr<LocalDvpTable::UnresolvedEntry>*>(c.previous)->get()
                        ? "removed"
                        : "created");
        break;
      default:
        std::printf("  published field %u\n", c.field);
        break;
    }
  }
};

class QueueNarrator : public Quill::Observer {
 public:
  void onChange(const Quill::Change& c) override {
    std::printf("  published pendingEntry seq %u on the handle\n",
                *static_cast<const std::uint32_t*>(c.key));
  }
};

}  // namespace

int main() {
  const Index key = 42;
  auto tablesBefore = LocalDvpTable::memAllocationTracker_.live();
  auto handlesBefore = LocalDvpTable::EntryHandle::memAllocationTracker_.live();
  {
    Quill::Ptr<LocalDvpTable> table(new LocalDvpTable());
    Narrator narrator;
    table->publisher()->observerIs(&narrator);
    std::printf("A local DVP table without a hardware adaptor: indices %u..%u\n",
                table->minIndex(), table->maxIndex());

    Quill::Ptr<NextHopHandle> nextHop(new NextHopHandle(Asic::kExhaustedIndex));
    Entry entry(nextHop, 3);

    std::printf("\n1. Key %u gets its entry handle and waits for next hop (no hardware index yet)\n",
                key.value);
    auto handle = table->entryHandleIs(key, table.get());
    handle->entryTypeIs(LocalDvpTable::EntryHandle::committed());
    table->unresolvedEntryIs(key)->entryIs(entry);
    std::printf("  entryHas(%u)=%d entryInHwTable(%u)=%d\n", key.value, table->entryHas(key),
                key.value, table->entryInHwTable(key));

    std::printf("\n2. The next hop gets hardware index 7: the entry resolves\n");
    nextHop->hwIndexIs(7);
    entry.localPortNextHopIs(Asic::SwTableBase::getHwEntryIndex(nextHop));
    table->resolvedEntryIs(key, entry);
    table->unresolvedEntryDel(key);
    std::printf("  resolvedEntry(%u) = %s\n", key.value, describe(table->resolvedEntry(key)).c_str());

    std::printf("\n3. A new DVP network group supersedes it; the old value waits for the hardware\n");
    QueueNarrator queueNarrator;
    handle->publisher()->observerIs(&queueNarrator);
    handle->pendingEntryEnq(*table->resolvedEntry(key));
    table->resolvedEntryIs(key, Entry(nextHop, 5, 7));
    std::printf("  pending entries: %u, front %s\n", handle->pendingEntryCount(),
                handle->pendingEntryFront().toStrep().c_str());

    std::printf("\n4. The same value again changes nothing and publishes nothing\n");
    table->resolvedEntryIs(key, Entry(nextHop, 5, 7));

    std::printf("\n5. The hardware confirmed the write: the pending queue empties\n");
    handle->pendingEntryDelAll();
    handle->publisher()->observerDel(&queueNarrator);

    std::printf("\n6. The text form of the entry decodes back to the same value\n");
    auto text = table->resolvedEntry(key)->toStrep();
    auto decoded = Kiv::strepToValue<Entry>(text);
    std::printf("  %s\n  round trip %s\n", text.c_str(), decoded == *table->resolvedEntry(key) ? "equal" : "DIFFERENT");

    std::printf("\n7. Teardown\n");
    handle = nullptr;
    table->publisher()->observerDel(&narrator);
  }
  bool clean = LocalDvpTable::memAllocationTracker_.live() == tablesBefore &&
               LocalDvpTable::EntryHandle::memAllocationTracker_.live() == handlesBefore;
  std::printf("  %s\n", clean ? "every record released" : "LEAK: records still allocated");
  return clean ? 0 : 1;
}
