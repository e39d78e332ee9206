#pragma once
// The adaptor loader: the process's singleton that loads the hardware adaptor
// plug-ins of the local DVP table, found under the prefix path "AsicFeature"
// and the suffix path "VelarL3Vfi::LocalDvpTable" of every plug-in root.
#include "platform/Adjunct/Singleton.h"
#include "platform/Memory/AllocationTracker.h"
#include "platform/Quill/SlabAllocated.h"
#include "VelarL3Vfi/Util.h"

namespace VelarL3Vfi {

class LocalDvpTableUtilLoader : public Adjunct::Core::Loader::Singleton,
                                public Quill::SlabAllocated<LocalDvpTableUtilLoader> {
 public:
  static inline Quill::AllocationTracker memAllocationTracker_{"VelarL3Vfi::LocalDvpTable::UtilLoader"};

  explicit LocalDvpTableUtilLoader(const Quill::String& name)
      : Adjunct::Core::Loader::Singleton(name) {}

  static const Quill::TypeData& typeDataStatic() noexcept;
  const Quill::TypeData* typeData() const noexcept override { return &typeDataStatic(); }
  Quill::String prefixPath() const override { return "AsicFeature"; }
  Quill::String suffixPath() const override { return kLocalDvpTableTypeName; }

  // The type's creation entry: refuses an argument block.
  static Quill::Ptr<Quill::Node> create(const Quill::String& name, const void* args);

 private:
  ~LocalDvpTableUtilLoader() override;
};

}  // namespace VelarL3Vfi
