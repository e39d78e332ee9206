#include "VelarL3Vfi/Library.h"

#include <cstdlib>
#include <memory>

#include "VelarL3Vfi/TypeModule.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/DmaMem/Manager.h"
#include "platform/Memory/Slab.h"

namespace VelarL3Vfi {

namespace {

// The library-wide state, created at load in this order and released at exit
// in the reverse order.
struct LibraryState {
  std::unique_ptr<Trace::Handle> statTrace;
  Quill::Ptr<LocalDvpTableUtilLoader> utilLoader;

  LibraryState() {
    // Records made below live until exit: the allocator must outlive them.
    Quill::SlabAllocator::instance();
    if (!dmamem_lib::Manager::agentNameSet()) {
      dmamem_lib::Manager::agentNameIs(std::getenv("AGENT_PROCESS_NAME"));
    }
    typeModule().loaded();
    statTrace = std::make_unique<Trace::Handle>("SwTableStat");
    Asic::AdaptorRegistry::instance().tableTypeIs(kLocalDvpTableTypeName);
    utilLoader = Adjunct::Core::Loader::Singleton::instantiate<LocalDvpTableUtilLoader>();
  }
};

LibraryState& state() {
  static LibraryState instance;
  return instance;
}

// Runs the initialiser when the library is loaded.
[[maybe_unused]] const LibraryState& loadedState = state();

}  // namespace

Trace::Handle& statTraceHandle() { return *state().statTrace; }
const Quill::Ptr<LocalDvpTableUtilLoader>& utilLoader() { return state().utilLoader; }

std::size_t loadAdaptorPlugins(const char* root) {
  const auto& singleton = *state().utilLoader;
  using Adjunct::Core::Loader::Singleton;
  return Singleton::loadRoot(root, singleton.prefixPath().view(), singleton.suffixPath().view(),
                             Singleton::pluginLoader(singleton));
}

Quill::Ptr<LocalDvpTable> localDvpTableFactory() {
  Quill::Ptr<LocalDvpTable> table(new LocalDvpTable());
  const char* type = typeData(kLocalDvpTableType).name;
  auto& registry = Asic::AdaptorRegistry::instance();
  table->hwTableIs(registry.hwTable(type));
  if (const auto* adaptor = registry.adaptor(type); adaptor != nullptr && adaptor->makeUtil) {
    table->utilIs(adaptor->makeUtil(*table));
  }
  return table;
}

}  // namespace VelarL3Vfi
