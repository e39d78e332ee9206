#include "VelarL3Vfi/UnresolvedEntry.h"

namespace VelarL3Vfi {

LocalDvpTableUnresolvedEntry::~LocalDvpTableUnresolvedEntry() { nodeFlagSet(kFlagLive, false); }

}  // namespace VelarL3Vfi
