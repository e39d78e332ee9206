// A plug-in that registers an adaptor when it is loaded, as a hardware
// adaptor plug-in does: for the table type "TestTable", or the one that
// VELAR_TEST_TABLE_TYPE names (for a test that needs a type of its own).
#include <cstdlib>

#include "platform/Asic/AdaptorRegistry.h"

namespace {

const char* const named = std::getenv("VELAR_TEST_TABLE_TYPE");
const bool registered =
    Asic::AdaptorRegistry::instance().adaptorIs({named != nullptr ? named : "TestTable", nullptr, nullptr});

}  // namespace
