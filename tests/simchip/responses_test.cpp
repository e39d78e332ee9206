// Write responses: held by the adaptor until delivered, delivered through the
// framework into the key's handle, by hand or from the activity loop, and
// harmless once the table is gone.
#include <gtest/gtest.h>

#include "SimChipFixture.h"
#include "platform/Asic/WriteResponseSm.h"

namespace SimChip::test {
namespace {

using State = Asic::SwTableBase::EntryState;
using Keys = std::vector<std::uint32_t>;

class SimChipResponses : public TableOnChip {
 protected:
  Keys pendingKeys() {
    Keys keys;
    for (const auto& r : control().pendingResponses()) {
      EXPECT_EQ(r.hwIndex, r.key);
      keys.push_back(r.key);
    }
    return keys;
  }
};

TEST_F(SimChipResponses, HeldUntilDeliveredThenTheHandleHasItsIndexAndSuccess) {
  auto sm = table->writeResponseSmIs(table.get());
  auto handle = table->entryHandleIs(5, table.get());
  commit(5, Entry(nullptr, 3, 7));
  EXPECT_EQ(pendingKeys(), Keys{5});
  EXPECT_EQ(handle->hwIndex(), Asic::kExhaustedIndex);
  EXPECT_EQ(handle->resolvedEntryState(), State::inProgress);  // written, not confirmed

  EXPECT_EQ(control().deliver(5), 1u);
  EXPECT_EQ(handle->hwIndex(), 5u);
  EXPECT_EQ(handle->resolvedEntryState(), State::success);
  EXPECT_EQ(sm->responsesPassed(), 1u);  // through the table's state machine
  EXPECT_EQ(control().deliver(5), 0u);

  commit(5, Kiv::Optional<Entry>());  // absent writes are answered too
  EXPECT_EQ(pendingKeys(), Keys{5});
  control().deliverAll();  // the confirmed absent value ends in a delete, which is not answered
  EXPECT_EQ(handle->resolvedEntryState(), State::success);
  EXPECT_TRUE(pendingKeys().empty());
  EXPECT_EQ(control().slot(5).state, SlotState::empty);
}

TEST_F(SimChipResponses, DeliveringOneKeyLeavesTheOthersInWriteOrder) {
  for (std::uint32_t key : {3u, 1u, 3u, 2u}) {
    util->updateHwIndexRefCountTracker(nullptr, key, OpType::firstWrite);
    util->hwTableEntryIs(table.get(), key, Entry(nullptr, 1, key));
  }
  EXPECT_EQ(pendingKeys(), (Keys{3, 1, 3, 2}));
  EXPECT_EQ(control().deliver(3), 2u);
  EXPECT_EQ(pendingKeys(), (Keys{1, 2}));
  EXPECT_EQ(control().deliver(9), 0u);
  EXPECT_EQ(control().deliverAll(), 2u);
  EXPECT_TRUE(pendingKeys().empty());
}

TEST_F(SimChipResponses, ResponseForAKeyWithoutHandleIsDropped) {
  commit(9, Entry(nullptr, 1, 1));
  EXPECT_EQ(control().deliverAll(), 1u);
  EXPECT_FALSE(table->entryHandleHas(9));
  EXPECT_EQ(table->entryHandleIs(9, table.get())->hwIndex(), Asic::kExhaustedIndex);
}

TEST_F(SimChipResponses, AutoDeliveryRunsOnlyFromTheActivityLoop) {
  control().autoDeliverIs(true);
  auto handle = table->entryHandleIs(5, table.get());
  commit(5, Entry(nullptr, 3, 7));
  EXPECT_EQ(handle->resolvedEntryState(), State::inProgress);  // not confirmed inside the write
  EXPECT_EQ(Activity::pending(), 1u);
  EXPECT_EQ(Activity::runPending(), 1u);
  EXPECT_EQ(handle->hwIndex(), 5u);
  EXPECT_EQ(handle->resolvedEntryState(), State::success);
  EXPECT_TRUE(pendingKeys().empty());

  // An item whose response was delivered by hand finds nothing to do.
  commit(5, Entry(nullptr, 4, 7));
  EXPECT_EQ(control().deliver(5), 1u);
  handle->resolvedEntryStateIs(State::inProgress);
  EXPECT_EQ(Activity::runPending(), 1u);
  EXPECT_EQ(handle->resolvedEntryState(), State::inProgress);
}

TEST_F(SimChipResponses, TurningAutoDeliveryOnCoversWaitingResponsesAndOffStopsIt) {
  commit(1, Entry(nullptr, 1, 1));
  commit(2, Entry(nullptr, 1, 1));
  EXPECT_EQ(Activity::pending(), 0u);
  control().autoDeliverIs(true);
  EXPECT_EQ(Activity::pending(), 2u);
  control().autoDeliverIs(false);
  Activity::runPending();
  EXPECT_EQ(pendingKeys(), (Keys{1, 2}));
  control().autoDeliverIs(true);
  Activity::runPending();
  EXPECT_TRUE(pendingKeys().empty());
}

TEST_F(SimChipResponses, PendingResponsesAfterTheTableIsGoneAreHarmless) {
  const auto liveTables = LocalDvpTable::memAllocationTracker_.live();
  control().autoDeliverIs(true);
  commit(5, Entry(nullptr, 3, 7));
  commit(6, Entry(nullptr, 3, 7));
  table = nullptr;  // the table, and with it its adaptor and what it held
  util = nullptr;
  EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), liveTables - 1);

  // Table storage is reused: a stale delivery would land in the next table.
  Quill::Ptr<LocalDvpTable> next(new LocalDvpTable());
  next->utilIs(makeUtil(*next));
  auto handle = next->entryHandleIs(5, next.get());
  EXPECT_EQ(Activity::runPending(), 2u);  // both items run, and do nothing
  EXPECT_EQ(handle->resolvedEntryState(), State::unresolved);
  EXPECT_EQ(handle->hwIndex(), Asic::kExhaustedIndex);
  EXPECT_EQ(chip->slot(5).state, SlotState::empty);  // the old table's teardown deleted it
}

}  // namespace
}  // namespace SimChip::test
