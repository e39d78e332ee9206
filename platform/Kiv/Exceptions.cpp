#include "platform/Kiv/Exceptions.h"

#include <fmt/format.h>

namespace Kiv {

MutatorReinstantiatingException::MutatorReinstantiatingException(std::string typeName,
                                                                 std::string attrName,
                                                                 unsigned attrId,
                                                                 std::string requested,
                                                                 std::string existing)
    : EntityException(fmt::format("{}::{} (attribute {}): cannot reinstantiate with {}; the existing "
                                  "member is bound to {}",
                                  typeName, attrName, attrId, requested, existing)),
      typeName_(std::move(typeName)),
      attrName_(std::move(attrName)),
      attrId_(attrId) {}

NewEntityArgsException::NewEntityArgsException(std::string typeName)
    : EntityException(fmt::format("{}: new entity takes no creation arguments", typeName)),
      typeName_(std::move(typeName)) {}

CodecError::CodecError(const std::string& message, std::size_t offset)
    : std::runtime_error(fmt::format("{} (at offset {})", message, offset)), offset_(offset) {}

namespace Impl {
void throwMutatorReinstantiating(std::string_view typeName, std::string_view attrName,
                                 unsigned attrId, const void* requested, const void* existing) {
  throw MutatorReinstantiatingException(std::string(typeName), std::string(attrName), attrId,
                                        fmt::format("{}", requested), fmt::format("{}", existing));
}
}  // namespace Impl

void throwNewEntityArgsException(std::string_view typeName) {
  throw NewEntityArgsException(std::string(typeName));
}

}  // namespace Kiv

namespace Quill {
RangeException::RangeException(const std::string& message, std::size_t offset)
    : std::out_of_range(fmt::format("{} (at offset {})", message, offset)), offset_(offset) {}
}  // namespace Quill
