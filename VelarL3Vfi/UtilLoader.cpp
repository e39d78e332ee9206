#include "VelarL3Vfi/UtilLoader.h"

#include "VelarL3Vfi/TypeModule.h"
#include "platform/Kiv/Exceptions.h"

namespace VelarL3Vfi {

const Quill::TypeData& LocalDvpTableUtilLoader::typeDataStatic() noexcept {
  return VelarL3Vfi::typeData(kUtilLoaderType);
}

Quill::Ptr<Quill::Node> LocalDvpTableUtilLoader::create(const Quill::String& name,
                                                        const void* args) {
  if (args != nullptr) Kiv::throwNewEntityArgsException(typeDataStatic().name);
  return Quill::Ptr<Quill::Node>(new LocalDvpTableUtilLoader(name));
}

LocalDvpTableUtilLoader::~LocalDvpTableUtilLoader() { nodeFlagSet(kFlagLive, false); }

}  // namespace VelarL3Vfi
