#pragma once
// Errors raised by the runtime's entity model and by its text codec.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Kiv {

// Misuse of the entity model.
class EntityException : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// A mutator was asked to re-create a member that already exists with a
// different identity (e.g. an entry handle bound to another table).
class MutatorReinstantiatingException : public EntityException {
 public:
  MutatorReinstantiatingException(std::string typeName, std::string attrName, unsigned attrId,
                                  std::string requested, std::string existing);
  const std::string& typeName() const noexcept { return typeName_; }
  const std::string& attrName() const noexcept { return attrName_; }
  unsigned attrId() const noexcept { return attrId_; }

 private:
  std::string typeName_;
  std::string attrName_;
  unsigned attrId_;
};

// A type that takes no creation arguments was given some.
class NewEntityArgsException : public EntityException {
 public:
  explicit NewEntityArgsException(std::string typeName);
  const std::string& typeName() const noexcept { return typeName_; }

 private:
  std::string typeName_;
};

// Text decoding failed. The message names what was expected and the offset in
// the text where decoding stopped.
class CodecError : public std::runtime_error {
 public:
  CodecError(const std::string& message, std::size_t offset);
  std::size_t offset() const noexcept { return offset_; }

 private:
  std::size_t offset_;
};

namespace Impl {
[[noreturn]] void throwMutatorReinstantiating(std::string_view typeName, std::string_view attrName,
                                              unsigned attrId, const void* requested,
                                              const void* existing);
}  // namespace Impl

[[noreturn]] void throwNewEntityArgsException(std::string_view typeName);

}  // namespace Kiv

namespace Quill {

// A number in text does not fit its type.
class RangeException : public std::out_of_range {
 public:
  RangeException(const std::string& message, std::size_t offset);
  std::size_t offset() const noexcept { return offset_; }

 private:
  std::size_t offset_;
};

}  // namespace Quill
