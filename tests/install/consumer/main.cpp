#include "VelarL3Vfi/LocalDvpTable.h"

int main() {
  Quill::Ptr<VelarL3Vfi::LocalDvpTable> table(new VelarL3Vfi::LocalDvpTable());
  auto handle = table->entryHandleIs(1, table.get());
  return handle->key() == 1u && table->entrys() == 1 ? 0 : 1;
}
