// Registers the simulated chip as the adaptor of the local DVP table when the
// plug-in is loaded. Only the loadable module includes this file: the tests
// link the same adaptor without registering it.
#include "platform/Asic/AdaptorRegistry.h"
#include "plugins/simchip/SimChipHwTable.h"
#include "plugins/simchip/SimChipUtil.h"

namespace {

[[maybe_unused]] const bool registered = Asic::AdaptorRegistry::instance().adaptorIs(
    {VelarL3Vfi::kLocalDvpTableTypeName, &SimChip::makeUtil, &SimChip::recoverHwTable});

}  // namespace
