#pragma once
// The lines dvp-agent prints, built from plain values so that they can be
// checked without a table.
//
//   hw KEY nexthop=N group=G | hw KEY empty
//   entry KEY nh=NAME|none nexthop=N group=G
//   handle KEY type=T state=S resolved=R hwIndex=I pending=P uses=U
//   nexthop NAME index=I state=S suggested=I1,I2|none
//   stats matched=A differ=B new=C deleted=D
//   tracker INDEX users=U | tracker-fault INDEX TEXT
//   adaptor tracker key=K op=N | adaptor write key=K nexthop=N group=G |
//   adaptor write key=K absent | adaptor delete key=K |
//   adaptor compare key=K match|differ | adaptor sync entries=N
//   chip confirm key=K
//   audit KIND key=K [chip=nexthop=N,group=G] [table=nexthop=N,group=G] |
//   audit users key=K chip=users=U expected=users=E |
//   audit tracker key=K chip=refused=R | audit checked=N inflight=M findings=F
//
// An index or number of 0xFFFFFFFF prints as `none` everywhere.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "VelarL3Vfi/Audit.h"
#include "platform/Asic/SwTable.h"
#include "plugins/simchip/SimChipControl.h"
#include "tools/dvp-agent/Scenario.h"

namespace DvpAgent {

using Type = Asic::SwTableBase::EntryType;

std::string indexText(std::uint32_t index);

// A slot that is not empty (valid, or written without a value; a state the
// agent does not know prints as `hw KEY state=N`).
std::string hwLine(Key key, const SimChip::Slot& slot);
std::string entryLine(Key key, const std::optional<std::string>& nextHopName, std::uint32_t nextHop,
                      std::uint8_t group);

struct HandleView {
  Key key = 0;
  Type type = Type::unassigned;
  State state = State::unresolved;
  State resolved = State::unresolved;
  std::uint32_t hwIndex = 0xFFFFFFFF;
  std::uint32_t pending = 0;
  std::uint32_t uses = 0;
};
std::string handleLine(const HandleView& handle);

std::string nextHopLine(const std::string& name, std::uint32_t index, State state,
                        const std::set<std::uint32_t>& suggested);
std::string statsLine(const Asic::SwTable::Statistics& statistics);
std::string trackerLine(std::uint32_t index, std::uint32_t users);
std::string trackerFaultLine(const SimChip::Fault& fault);
// The "no OBJECT KEY" line that stands for an absent object.
std::string absentLine(const Query& query);

// One adaptor call of the chip's call log as an `adaptor ...` line. A call
// that the chip refused or found inconsistent keeps the chip's note at the
// end (" -> fault: ...", " -> error: ...").
std::string adaptorLine(const SimChip::Call& call);
std::string confirmLine(Key key);

std::string auditLine(const VelarL3Vfi::AuditFinding& finding);
std::string auditSummaryLine(const VelarL3Vfi::AuditReport& report);

// Whether `line` holds every wanted field: `name=value` must appear as a
// word of the line, and a bare word must appear as a word.
bool lineHolds(std::string_view line, const std::vector<Field>& fields);

}  // namespace DvpAgent
