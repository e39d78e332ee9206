#pragma once
// Named runtime entities and the process's entity singletons.
//
// An entity is a named node that knows its type in its library's type module.
// Some types have one instance per process, a singleton, known by name: the
// runtime creates it from its type's creation entry and keeps it until the
// process exits.
#include <string_view>

#include "platform/Quill/Notifier.h"
#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"
#include "platform/Quill/TypeModule.h"

namespace Kiv {

class Entity : public Quill::Notifier {
 public:
  explicit Entity(Quill::String name) : name_(std::move(name)) {}

  const Quill::String& name() const noexcept { return name_; }
  // The framework type name of the entity: its type's name (empty for an
  // entity no module describes).
  Quill::String fwkType() const {
    const auto* type = typeData();
    return Quill::String(type ? type->name : "");
  }

  // The singleton of that name, or null.
  static Quill::Ptr<Entity> singletonExists(std::string_view name);
  // Creates the singleton of `type` (named after the type) through the type's
  // creation entry and keeps it until exit; returns the existing one if there
  // is one already.
  static Quill::Ptr<Entity> singletonIs(const Quill::TypeData& type);

 private:
  Quill::String name_;
};

}  // namespace Kiv
