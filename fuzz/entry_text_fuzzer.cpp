// Fuzzes the text decoders of the table's values: the text form of an Entry
// (Kiv::strepToValue, the codec's own path) and the generic interface's text
// form of keys and values (Inspect::fromText, which tools feed with what
// users type).
//
// Input: one selector byte, then the text.
//   selector % 8: 0 Entry through strepToValue, 1 Entry through fromText,
//                 2 u32 (a key), 3 u8, 4 u64, 5 bool, 6 node reference,
//                 7 a record type that has no text form
//
// Node references resolve against a fixed set of live nodes made once:
// "@1" a next hop with an index, "@2" one without, "@3" a failed one, "@4" a
// table (no entry handle), "@5" a node that is gone.
//
// Besides not crashing, a decoder must: raise only the codec's errors (or
// ArgumentError from fromText); release every use it took of a node,
// whether it succeeded or not; and produce an Entry whose text form decodes
// back to the same value and the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "VelarL3Vfi/Inspect.h"
#include "VelarL3Vfi/LocalDvpTable.h"
#include "fuzz/FuzzCheck.h"
#include "platform/Kiv/CharRange.h"
#include "platform/Kiv/Exceptions.h"
#include "platform/Quill/NodeDirectory.h"
#include "simulation/NeededEntryTable.h"

namespace {

using Entry = VelarL3Vfi::LocalDvpTableEntry;
using Quill::ValueKind;
namespace In = VelarL3Vfi::Inspect;

struct Nodes {
  Quill::Ptr<Asic::NeededEntryTable> nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  Quill::Ptr<VelarL3Vfi::LocalDvpTable> table{new VelarL3Vfi::LocalDvpTable()};
  std::vector<const Quill::Node*> all;

  Nodes() {
    nextHops->readyIs(1, 70);
    nextHops->handleIs(2);
    nextHops->readyIs(3, 71);
    nextHops->failedIs(3);
    for (std::uint32_t key : {1u, 2u, 3u}) all.push_back(nextHops->handle(key).get());
    all.push_back(table.get());
    // The seeds name the nodes by these ids.
    std::uint64_t expected = 1;
    for (const auto* node : all) FUZZ_CHECK(Quill::NodeDirectory::idOf(*node) == expected++);
    // An id whose node is gone.
    Quill::Ptr<Asic::NeededEntryTable> gone = Asic::NeededEntryTable::NeededEntryTableIs("gone");
    FUZZ_CHECK(Quill::NodeDirectory::idOf(*gone) == expected);
  }

  std::vector<std::uint32_t> useCounts() const {
    std::vector<std::uint32_t> counts;
    for (const auto* node : all) counts.push_back(node->useCount());
    return counts;
  }
};

const Nodes& nodes() {
  static const Nodes instance;
  return instance;
}

// An Entry that decoded: its text decodes to the same value and text.
void checkRoundTrip(const Entry& decoded) {
  const std::string text = decoded.toStrep();
  const Entry again = Kiv::strepToValue<Entry>(text);
  FUZZ_CHECK(again == decoded, text);
  FUZZ_CHECK(again.localPortNextHop() == decoded.localPortNextHop(), text);
  FUZZ_CHECK(again.toStrep() == text, text);
}

void decode(std::uint8_t selector, std::string_view text) {
  static constexpr const char* kEntryType = "VelarL3Vfi::LocalDvpTable::Entry";
  switch (selector % 8) {
    case 0:
      checkRoundTrip(Kiv::strepToValue<Entry>(text));
      return;
    case 1: {
      const In::Value value = In::fromText(ValueKind::record, kEntryType, text);
      const Entry* entry = value.recordIf<Entry>();
      FUZZ_CHECK(entry != nullptr, "fromText gave no Entry");
      checkRoundTrip(*entry);
      FUZZ_CHECK(In::toText(value) == entry->toStrep());
      return;
    }
    case 2: {
      const In::Value value = In::fromText(ValueKind::u32, "Asic::SwTableBase::Index", text);
      FUZZ_CHECK(In::toText(value) == std::to_string(value.asU32()));
      return;
    }
    case 3:
      In::fromText(ValueKind::u8, "U8", text).asU8();
      return;
    case 4:
      In::fromText(ValueKind::u64, "U64", text).asU64();
      return;
    case 5:
      In::fromText(ValueKind::boolean, "bool", text).asBool();
      return;
    case 6: {
      const In::Value value = In::fromText(ValueKind::node, "Asic::SwTableBase::EntryHandle", text);
      const Quill::Node* node = value.asNode();
      FUZZ_CHECK(node == nullptr || Quill::NodeDirectory::find(Quill::NodeDirectory::idOf(*node)) == node);
      return;
    }
    default:
      In::fromText(ValueKind::record, "Asic::ChipInfo", text);
      return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto& pool = nodes();
  const auto usesBefore = pool.useCounts();
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    decode(data[0], text);
  } catch (const Kiv::CodecError&) {
  } catch (const Quill::RangeException&) {
  } catch (const Quill::Inspect::ArgumentError&) {
  }
  FUZZ_CHECK(pool.useCounts() == usesBefore, "a decoder kept a use of a node");
  return 0;
}
