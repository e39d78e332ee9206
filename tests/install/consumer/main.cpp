#include "VelarL3Vfi/LocalDvpTable.h"
#include "platform/Asic/AdaptorRegistry.h"

#include <cstdio>

int main() {
  // Loading the library loaded the installed simulated-chip plug-in from the
  // default plug-in root: the install gave it permissions the loader accepts.
  if (Asic::AdaptorRegistry::instance().adaptor("VelarL3Vfi::LocalDvpTable") == nullptr) {
    std::fputs("consumer: the installed adaptor plug-in was not loaded\n", stderr);
    return 1;
  }
  Quill::Ptr<VelarL3Vfi::LocalDvpTable> table(new VelarL3Vfi::LocalDvpTable());
  auto handle = table->entryHandleIs(1, table.get());
  return handle->key() == 1u && table->entrys() == 1 ? 0 : 1;
}
