// A plug-in that registers an adaptor for the table type "TestTable" when it
// is loaded, as a hardware adaptor plug-in does.
#include "platform/Asic/AdaptorRegistry.h"

namespace {

const bool registered = Asic::AdaptorRegistry::instance().adaptorIs({"TestTable", nullptr, nullptr});

}  // namespace
