#pragma once
// The generic-interface facade (platform/Quill/Inspect.h) for the table's
// types. VelarL3Vfi::Inspect offers all of Quill::Inspect (objects, outcomes,
// get, set, call, walks, creation, values as text) and adds entry(): an Entry
// as a record value of the module's Entry type, to pass as an argument, or to
// inspect as an object whose attributes can then be read and set in place.
//
//   namespace In = VelarL3Vfi::Inspect;
//   auto table = VelarL3Vfi::localDvpTableFactory();
//   In::call(*table, "entryCommit", {In::Value::u32(7), In::entry(e)});
//   In::Outcome n = In::get(*table, "entrys");            // n.value.asU32()
//
// The text form of an Entry (toText, fromText) writes its node references as
// the facade writes any node reference:
// "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=@3, ...)".
#include "VelarL3Vfi/Entry.h"
#include "platform/Quill/Inspect.h"
#include "platform/Quill/TypeModule.h"

namespace VelarL3Vfi::Inspect {

using namespace Quill::Inspect;
// The facade's functions take attribute ids.
using Quill::AttrId;

// An Entry as a record value (to pass as argument, or to inspect).
Value entry(const LocalDvpTableEntry& e);

}  // namespace VelarL3Vfi::Inspect
