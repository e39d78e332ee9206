#include "VelarL3Vfi/Inspect.h"

#include "VelarL3Vfi/Introspection.h"

namespace VelarL3Vfi::Inspect {

Value entry(const LocalDvpTableEntry& e) { return Introspection::entryValue(e); }

}  // namespace VelarL3Vfi::Inspect
