// Fuzzes the generic interface of the table's six types (inspectOperation,
// the iterators, construction) with arbitrary attribute ids, operation codes,
// keys, operands and argument lists, on a populated table on the simulated
// chip, interleaved with what the environment does meanwhile (the chip
// confirms writes, next hops change, deferred work runs, a restart's replay
// ends).
//
// Every input gets a table of its own, built the same way, so what one input
// changes never reaches the next. Malformed requests raise ArgumentError and
// the runtime's entity and codec errors; those are expected. Crashes,
// sanitizer reports and assertion failures are not, and neither are leaks:
// after each input every handle, waiting entry, table and pending-queue slot
// must be gone.
//
// Input (bytes; reading past the end gives zeros):
//   flavour    bit 0: a restart's replay (the chip holds entries, the replay
//              is open) instead of a running agent
//   then requests, each starting with a byte r, r % 8:
//     0-3  request   OBJ ATTR(u16 le) OP KEY:V OPERAND:V N(%5) ARG:V...
//     4    walk      OBJ ATTR(u16 le) STARTKEY:V
//     5    construct TYPE(%6) N(%5) ARG:V...
//     6    environment E: E % 5: 0 the chip confirms every pending write,
//          1 the chip confirms key K (byte), 2 deferred work runs,
//          3 next hop N (byte % 3 + 1) gets index I (byte; 255: fails),
//          4 the replay ends (init completion and the stale purge)
//     7    drop      POOL (byte): the pool value goes, with its references
//   OBJ: a pool value (byte); 255 is the table's type without a table
//   V (a value): tag byte t, t % 9:
//     0 none, 1 bool (byte), 2 u8 (byte), 3 u32 (4 bytes le), 4 u64 (8 bytes
//     le), 5 string (length byte % 16, then the bytes), 6 a pool value
//     (byte), 7 an Entry: handle (pool byte; not a handle: null), group
//     (byte), localPortNextHop (u32 le); 8 an Asic::ChipInfo: unit (byte),
//     entries (u16 le), an anonymous chip
//
// The pool starts with: 0 null, 1 the table, 2 next hop 1 (index 70), 3 next
// hop 2 (no index yet), 4 next hop 3 (failed), 5 the handle of key 1, 6 the
// handle of key 4 held by a dependent, 7 the adaptor, 8 a mount group, 9 a
// recover group, 10 an entity manager, 11 a default Entry, 12 an Entry with
// next hop 1; results of requests and constructions are added (at most 32).
//
// Keys of the table at the start (running flavour): 1 programmed, 2 written
// and not confirmed, 3 waiting for next hop 2, 4 withdrawn but held by a
// dependent, 5 in a delete dance, 6 a reference-only handle, 63 waiting for
// next hop 3, which failed.
// The replay flavour starts with the chip holding 1, 2, 7 and 40, the
// replay has committed 1 (unchanged) and 2 (changed), and 3 waits.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "VelarL3Vfi/Inspect.h"
#include "VelarL3Vfi/Introspection.h"
#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/TypeModule.h"
#include "fuzz/FuzzCheck.h"
#include "platform/Activity/Activity.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Kiv/Exceptions.h"
#include "plugins/simchip/SimChipHwTable.h"
#include "plugins/simchip/SimChipUtil.h"
#include "simulation/NeededEntryTable.h"
#include "tests/support/Support.h"

namespace {

using VelarL3Vfi::LocalDvpTable;
using Entry = LocalDvpTable::Entry;
using Quill::Inspect::ArgumentError;
using Quill::Inspect::Op;
using Quill::Inspect::Value;
namespace In = VelarL3Vfi::Inspect;

constexpr std::size_t kPoolLimit = 32;
constexpr std::uint8_t kClassLevel = 255;
constexpr std::uint32_t kChipEntries = 64;

// The input, read front to back.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}
  bool atEnd() const noexcept { return pos_ >= size_; }
  std::uint8_t u8() noexcept { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t u16() noexcept {
    const std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | u8() << 8);
  }
  std::uint32_t u32() noexcept {
    const std::uint32_t low = u16();
    return low | std::uint32_t{u16()} << 16;
  }
  std::uint64_t u64() noexcept {
    const std::uint64_t low = u32();
    return low | std::uint64_t{u32()} << 32;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// One input's world: the chip, the table on it, its next hops, the pool of
// values that requests take their objects and operands from.
class World {
 public:
  explicit World(bool replay) {
    // A constructed table takes the hardware table recovered last: none.
    Asic::AdaptorRegistry::instance().hwTableIs(VelarL3Vfi::typeData(VelarL3Vfi::kLocalDvpTableType).name, nullptr);
    nextHops_->readyIs(1, 70);
    nextHops_->handleIs(2);
    nextHops_->readyIs(3, 71);
    nextHops_->failedIs(3);
    if (replay) {
      restartOnChip();
    } else {
      running();
    }
    pool_ = {Value::node(nullptr),
             Value::node(table_),
             Value::node(nextHops_->handle(1)),
             Value::node(nextHops_->handle(2)),
             Value::node(nextHops_->handle(3)),
             Value::node(table_->entryHandle(1)),
             Value::node(table_->entryHandle(4)),
             Value::node(table_->utilPtr()),
             Value::node(Ledger::MountGroup::MountGroupIs("mounts")),
             Value::node(Asic::HwTableRecoverGroup::HwTableRecoverGroupIs("recover")),
             Value::node(Ledger::EntityManager::EntityManagerIs("ledger")),
             In::entry(Entry()),
             In::entry(Entry(nextHops_->handle(1), 9))};
  }

  ~World() {
    pool_.clear();
    held_.clear();
    table_ = nullptr;
    Activity::discardPending();
  }

  void run(Reader& in) {
    while (!in.atEnd()) {
      try {
        step(in);
      } catch (const std::exception& e) {
        if (dynamic_cast<const ArgumentError*>(&e) == nullptr &&
            dynamic_cast<const Kiv::EntityException*>(&e) == nullptr &&
            dynamic_cast<const Kiv::CodecError*>(&e) == nullptr &&
            dynamic_cast<const Quill::RangeException*>(&e) == nullptr) {
          throw;
        }
      }
    }
    // Whatever the chip and the activity loop still owe the table.
    Activity::runPending();
    if (chipControl() != nullptr) chipControl()->deliverAll();
    Activity::runPending();
  }

 private:
  // A running agent: the chip read back (empty), the replay over, and keys
  // in each stage of their life.
  void running() {
    makeTable();
    table_->syncEntries();
    table_->doInitComplete();
    table_->purgeStaleEntries();
    commitConfirmed(1, nextHops_->handle(1), 1);
    table_->entryCommit(2, Entry(nextHops_->handle(1), 2));
    table_->entryCommit(3, Entry(nextHops_->handle(2), 3));
    held_.push_back(commitConfirmed(4, nullptr, 4));
    table_->entryRemove(4);
    commitConfirmed(5, nextHops_->handle(1), 5);
    table_->entryRemove(5);  // the absent write stays unconfirmed
    held_.push_back(table_->getEntryHandle(6));
    commitConfirmed(63, nextHops_->handle(3), 63);
  }

  // A restart: the chip holds what an earlier agent wrote, the replay is
  // under way.
  void restartOnChip() {
    chip_->valueIs(1, 1, 70);
    chip_->valueIs(2, 1, 70);
    chip_->valueIs(7, 7, 70);
    chip_->valueIs(40, 40, 71);
    for (std::uint32_t key : {1u, 2u, 7u, 40u}) chip_->usersIs(key, 1);
    makeTable();
    table_->syncEntries();
    table_->entryCommit(1, Entry(nextHops_->handle(1), 1));
    table_->entryCommit(2, Entry(nextHops_->handle(1), 2));
    table_->entryCommit(3, Entry(nextHops_->handle(2), 3));
    Activity::runPending();
    replaying_ = true;
  }

  void makeTable() {
    table_->hwTableIs(Quill::Ptr<Asic::HwTable>(new SimChip::HwTable(0, chip_)));
    table_->utilIs(Quill::Ptr<Asic::SwTable::Util>(new SimChip::Util(chip_, table_.get())));
  }

  Quill::Ptr<const Asic::SwTableBase::EntryHandle> commitConfirmed(std::uint32_t key,
                                                                  Entry::HandlePtr nextHop,
                                                                  std::uint8_t group) {
    auto handle = table_->entryCommit(key, Entry(std::move(nextHop), group));
    chipControl()->deliver(key);
    return handle;
  }

  SimChip::Control* chipControl() const { return dynamic_cast<SimChip::Control*>(table_->util()); }

  void step(Reader& in) {
    const std::uint8_t request = in.u8();
    switch (request % 8) {
      case 4:
        walk(in);
        return;
      case 5:
        construct(in);
        return;
      case 6:
        environment(in);
        return;
      case 7:
        if (const std::uint8_t at = in.u8(); at < pool_.size()) pool_.erase(pool_.begin() + at);
        return;
      default:
        inspect(in);
        return;
    }
  }

  void inspect(Reader& in) {
    const std::uint8_t objectAt = in.u8();
    const Quill::AttrId attr = in.u16();
    const auto op = static_cast<Op>(in.u8());
    const Value key = value(in);
    const Value operand = value(in);
    const std::vector<Value> args = values(in);
    In::Object object = objectOf(objectAt);
    if (guarded(object, attr, op)) return;
    Value result;
    object.type().genericIf->inspectOperation(result, object.target(), attr, op, key.isNone() ? nullptr : &key,
                                              Quill::Inspect::Operand{&operand, args});
    keep(std::move(result));
  }

  void walk(Reader& in) {
    const std::uint8_t objectAt = in.u8();
    const Quill::AttrId attr = in.u16();
    const Value startKey = value(in);
    In::Walk steps = In::walk(objectOf(objectAt), attr, startKey.isNone() ? nullptr : &startKey);
    std::size_t n = 0;
    for (const auto& step : steps) {
      FUZZ_CHECK(++n <= 4096, "a walk does not end");
      if (step.value) keep(*step.value);
    }
  }

  void construct(Reader& in) {
    const auto index = static_cast<VelarL3Vfi::TypeIndex>(in.u8() % 6);
    const std::vector<Value> args = values(in);
    if (index == VelarL3Vfi::kEntryHandleType && constructsHandleOverKey(args)) return;
    keep(In::construct(VelarL3Vfi::typeData(index), args).value);
  }

  void environment(Reader& in) {
    const std::uint8_t event = in.u8();
    switch (event % 5) {
      case 0:
        if (auto* chip = chipControl()) chip->deliverAll();
        return;
      case 1:
        if (auto* chip = chipControl()) chip->deliver(in.u8());
        return;
      case 2:
        Activity::runPending();
        return;
      case 3: {
        const std::uint32_t nextHop = in.u8() % 3 + 1;
        if (const std::uint8_t index = in.u8(); index == 255) {
          nextHops_->failedIs(nextHop);
        } else {
          nextHops_->readyIs(nextHop, index);
        }
        return;
      }
      default:
        if (replaying_) {
          replaying_ = false;
          table_->doInitComplete();
          table_->purgeStaleEntries();
        }
        return;
    }
  }

  // Requests that the table refuses by stopping the agent, as documented
  // (the fuzzer leaves them out):
  // removing every entry while hardware entries read back at a restart are
  // still unsettled (purgeStaleEntries comes first).
  bool guarded(const In::Object& object, Quill::AttrId attr, Op op) const {
    if (op != Op::call || attr != VelarL3Vfi::TableAttr::entryRemoveAll) return false;
    if (&object.type() != &VelarL3Vfi::typeData(VelarL3Vfi::kLocalDvpTableType)) return false;
    const auto* table = dynamic_cast<const LocalDvpTable*>(object.node());
    return table != nullptr && table->util() != nullptr && table->syncedEntrys() != 0;
  }

  // The other refusal: an entry handle made for a table at a key the table
  // holds. Its last release runs the table's cleanup for that key, which
  // stops the agent ("unexpected entryType") or, during a replay, removes
  // the key's real handle; the runtime constructs handles only to put them
  // into the collection.
  static bool constructsHandleOverKey(const std::vector<Value>& args) {
    if (args.size() != 2 || args[0].kind() != Quill::ValueKind::u32) return false;
    if (args[1].kind() != Quill::ValueKind::node && args[1].kind() != Quill::ValueKind::related) return false;
    const auto* table = dynamic_cast<const LocalDvpTable*>(args[1].asNode());
    const std::uint32_t key = args[0].asU32();
    return table != nullptr &&
           (table->entryHandleHas(key) || table->resolvedEntryHas(key) || table->unresolvedEntry(key));
  }

  In::Object objectOf(std::uint8_t at) {
    if (at == kClassLevel) return In::Object::ofType(VelarL3Vfi::typeData(VelarL3Vfi::kLocalDvpTableType));
    if (pool_.empty()) throw ArgumentError("the pool is empty");
    return In::Object(*pooled(at));
  }

  // The pool value at `at` (wrapping around); null for an empty pool.
  Value* pooled(std::uint8_t at) { return pool_.empty() ? nullptr : &pool_[at % pool_.size()]; }

  std::vector<Value> values(Reader& in) {
    std::vector<Value> out(in.u8() % 5);
    for (auto& v : out) v = value(in);
    return out;
  }

  Value value(Reader& in) {
    const std::uint8_t tag = in.u8();
    switch (tag % 9) {
      case 0:
        return Value();
      case 1:
        return Value::boolean((in.u8() & 1) != 0);
      case 2:
        return Value::u8(in.u8());
      case 3:
        return Value::u32(in.u32());
      case 4:
        return Value::u64(in.u64());
      case 5: {
        std::string text(in.u8() % 16, '\0');
        for (auto& c : text) c = static_cast<char>(in.u8());
        return Value::string(Quill::String(text));
      }
      case 6: {
        const Value* v = pooled(in.u8());
        return v != nullptr ? *v : Value();
      }
      case 7: {
        const Value* v = pooled(in.u8());
        const auto* handle = dynamic_cast<const Asic::SwTableBase::EntryHandle*>(v != nullptr ? nodeOf(*v) : nullptr);
        const std::uint8_t group = in.u8();
        return In::entry(Entry(Entry::HandlePtr(handle), group, in.u32()));
      }
      default: {
        const std::uint8_t unit = in.u8();
        return Value::record(nullptr, Asic::ChipInfo{unit, "", in.u16()});
      }
    }
  }

  static const Quill::Node* nodeOf(const Value& v) {
    if (v.kind() != Quill::ValueKind::node && v.kind() != Quill::ValueKind::related) return nullptr;
    return v.asNode();
  }

  void keep(Value v) {
    if (v.isNone() || pool_.size() >= kPoolLimit) return;
    pool_.push_back(std::move(v));
  }

  std::shared_ptr<SimChip::Chip> chip_ = SimChip::Chip::anonymous(kChipEntries);
  Quill::Ptr<Asic::NeededEntryTable> nextHops_ = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  Quill::Ptr<LocalDvpTable> table_{new LocalDvpTable()};
  std::vector<Quill::Ptr<const Asic::SwTableBase::EntryHandle>> held_;
  std::vector<Value> pool_;
  bool replaying_ = false;
};

// The simulated chip is the table's adaptor (as its plug-in registers it),
// so that constructed tables and recoveries get chips too.
const bool registered = Asic::AdaptorRegistry::instance().adaptorIs(
    {VelarL3Vfi::kLocalDvpTableTypeName, &SimChip::makeUtil, &SimChip::recoverHwTable});

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)registered;
  const VelarTest::LeakCheck leaks;
  {
    Reader in(data, size);
    World world((in.u8() & 1) != 0);
    world.run(in);
  }
  const auto left = leaks.leaks();
  FUZZ_CHECK(left.empty(), left.front());
  return 0;
}
