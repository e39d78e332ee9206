#pragma once
// What the table library sets up when it is loaded, and its exported factory.
//
// Loading the library (linking it, or dlopen) runs its initialiser, in order:
//   1. the process's agent name for the DMA-memory manager, from the
//      environment variable AGENT_PROCESS_NAME, unless a library set it before;
//   2. the table's type module is announced to the runtime;
//   3. the statistics trace handle "SwTableStat";
//   4. the table type is announced to the adaptor registry, and the adaptor
//      loader singleton loads the hardware adaptor plug-ins (see
//      platform/Plugin/SearchPath.h for where it looks); kept until exit.
//
// All of this runs before an agent that links the library reaches main. An
// agent with adaptor plug-ins of its own, outside the search path, loads
// them with loadAdaptorPlugins before it makes a table.
#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/UtilLoader.h"
#include "platform/Trace/TraceHandle.h"

namespace VelarL3Vfi {

// Creates a table. The table gets the hardware table recovered for its type
// (if any) and an adaptor from the adaptor plug-in registered for its type
// (if any); without a plug-in it works without adaptor. Returns the only
// reference to the new table. Exported: an agent that dlopens the library
// finds it with dlsym under its mangled name (see docs/architecture.md).
Quill::Ptr<LocalDvpTable> localDvpTableFactory();

// Loads the adaptor plug-ins under <root>/AsicFeature/VelarL3Vfi::LocalDvpTable/
// of one more plug-in root, absolute, that the agent names itself, with the
// loader's checks and reports (permissions, failures, registrations); a root
// without that directory holds none. Returns how many loaded now.
// Exported like the factory: dlsym(handle,
// "_ZN10VelarL3Vfi18loadAdaptorPluginsEPKc").
std::size_t loadAdaptorPlugins(const char* root);

// The statistics trace handle "SwTableStat".
Trace::Handle& statTraceHandle();
// The adaptor loader singleton that the initialiser instantiated.
const Quill::Ptr<LocalDvpTableUtilLoader>& utilLoader();

}  // namespace VelarL3Vfi
