#include "platform/Kiv/Entity.h"

#include <fmt/format.h>

#include <stdexcept>
#include <vector>

namespace Kiv {

namespace {
// Singletons in creation order; released in reverse order at exit.
struct Singletons {
  std::vector<Quill::Ptr<Entity>> entities;
  ~Singletons() {
    while (!entities.empty()) entities.pop_back();
  }
};

Singletons& singletons() {
  static Singletons instance;
  return instance;
}
}  // namespace

Quill::Ptr<Entity> Entity::singletonExists(std::string_view name) {
  for (const auto& e : singletons().entities) {
    if (e->name().view() == name) return e;
  }
  return nullptr;
}

Quill::Ptr<Entity> Entity::singletonIs(const Quill::TypeData& type) {
  if (auto existing = singletonExists(type.name)) return existing;
  if (type.create == nullptr) {
    throw std::logic_error(fmt::format("{}: the type has no creation entry", type.name));
  }
  auto node = type.create(Quill::String(type.name), nullptr);
  auto entity = Quill::ptrDynamicCast<Entity>(node);
  if (!entity) {
    throw std::logic_error(fmt::format("{}: the creation entry made no entity", type.name));
  }
  singletons().entities.push_back(entity);
  return entity;
}

}  // namespace Kiv
