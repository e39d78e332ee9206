#pragma once
// SimChip::Control: what tests and the agent can ask of the simulated chip's
// adaptor beyond the adaptor contract.
//
// The adaptor of a table with the simulated chip implements it; reach it from
// the table with
//
//   auto* control = dynamic_cast<SimChip::Control*>(table->util());
//
// which works across the plug-in boundary (the adaptor lives in a module
// loaded with dlopen). The class is header-only on purpose: it has no key
// function, so its vtable and type_info are emitted with vague linkage in
// every object that uses them, and the module and the program each hold their
// own copy. libstdc++ compares type_info by mangled name
// (__GXX_MERGED_TYPEINFO_NAMES is 0), so the cross-cast from the table's
// util() finds the module's Control base all the same; checked with g++ 12
// and clang++ 14, RTLD_LOCAL, with and without -fvisibility=hidden. A
// runtime that compares type_info by address (libc++ in its default mode)
// would need the program to bind to the module's symbols instead. Keep the
// class out of anonymous namespaces: their type names are local and never
// compare equal across objects.
//
// Everything here is single-threaded, like the table: call it on the
// activity thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Asic/SwTable.h"

namespace SimChip {

// The state of one hardware slot.
enum class SlotState : std::uint8_t {
  empty = 0,         // never written, or deleted
  valid = 1,         // holds a value
  writtenEmpty = 2,  // allocated: written without a value (a delete in flight)
};

inline const char* slotStateName(SlotState state) noexcept {
  switch (state) {
    case SlotState::empty:
      return "empty";
    case SlotState::valid:
      return "valid";
    case SlotState::writtenEmpty:
      return "writtenEmpty";
  }
  return "invalid";
}

// One hardware slot as read back from the chip. nextHop and group are zero
// unless the slot is valid.
struct Slot {
  SlotState state = SlotState::empty;
  std::uint32_t nextHop = 0;
  std::uint8_t group = 0;

  bool allocated() const noexcept { return state != SlotState::empty; }
  friend bool operator==(const Slot&, const Slot&) = default;
};

// One adaptor call as the call log keeps it. Its line reads
// "<operation>[ key=<key>][ <detail>]", e.g. "write key=5 group=3 nextHop=7",
// "tracker key=5 op=0", "compare key=5 -> match", "sync -> 3 entries".
// A call that failed ends in " -> error: <why>" or " -> fault: <why>".
struct Call {
  std::string operation;  // tracker, write, delete, compare, sync
  bool hasKey = false;
  std::uint32_t key = 0;
  std::string detail;

  std::string line() const {
    std::string text = operation;
    if (hasKey) text += " key=" + std::to_string(key);
    if (!detail.empty()) text += " " + detail;
    return text;
  }
};

// Something the adaptor refused or found inconsistent. Nothing crashes and
// nothing on the chip changes for the failing part of the call.
struct Fault {
  enum class Kind : std::uint8_t {
    keyOutOfRange,  // the key is outside [minIndex, maxIndex]
    tracker,        // the index user counts and the calls disagree
  };
  // `op` of a fault that a write or delete found, not a tracker report.
  static constexpr int kNoOp = -1;

  Kind kind = Kind::tracker;
  std::string operation;  // the call that found it, as in the call log
  std::uint32_t index = 0;
  int op = kNoOp;  // the tracker op code for operation "tracker"
  std::string message;

  // "tracker key=5 op=2: ..." / "write key=5: ..."
  std::string line() const {
    std::string text = operation + " key=" + std::to_string(index);
    if (op != kNoOp) text += " op=" + std::to_string(op);
    return text + ": " + message;
  }
};

class Control {
 public:
  virtual ~Control() = default;

  // Call log: every adaptor call, in order.
  virtual std::vector<Call> callLog() const = 0;
  // One line per call, each ending in '\n'.
  virtual std::string callLogText() const = 0;
  virtual void callLogClear() = 0;

  // Write responses. Each write leaves one response {key, hwIndex} pending
  // until it is delivered to the table; both return how many were delivered.
  virtual std::size_t deliver(std::uint32_t key) = 0;
  virtual std::size_t deliverAll() = 0;
  virtual std::vector<Asic::WriteResponseRecord> pendingResponses() const = 0;
  // While on, every pending response is delivered by its own item of
  // deferred activity (Activity::post), never from inside a table operation.
  virtual void autoDeliverIs(bool on) = 0;
  virtual bool autoDeliver() const = 0;

  // Whether the framework publishes hardware indices in entry handles.
  virtual void hwIndexInEntryHandleIs(bool on) = 0;

  // The index user count the chip keeps for an index (0 outside the table).
  virtual std::uint32_t trackerCount(std::uint32_t index) const = 0;
  virtual std::vector<Fault> faults() const = 0;
  virtual std::vector<Fault> trackerFaults() const = 0;
  virtual void faultsClear() = 0;

  // The chip. A slot outside the table reads as empty.
  virtual Slot slot(std::uint32_t index) const = 0;
  virtual std::uint32_t entries() const = 0;
  // The chip file, empty for a chip in anonymous memory.
  virtual std::string location() const = 0;

 protected:
  Control() = default;
  Control(const Control&) = default;
  Control& operator=(const Control&) = default;
};

}  // namespace SimChip
