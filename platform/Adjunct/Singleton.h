#pragma once
// Singleton plug-in loaders.
//
// A feature that takes hardware adaptors from plug-ins has one loader
// singleton per process (a type derived from Adjunct::Core::Loader::Singleton
// with its own type and creation entry). instantiate<T>() finds or creates it,
// makes sure the plug-ins under the loader's prefix and suffix paths are
// loaded, and returns a counted reference to it.
#include <cstddef>
#include <string_view>

#include "platform/Assert/Assert.h"
#include "platform/Kiv/Entity.h"
#include "platform/Plugin/Loader.h"
#include "platform/Quill/Ptr.h"

namespace Adjunct::Core::Loader {

class Singleton : public Kiv::Entity {
 public:
  explicit Singleton(Quill::String name) : Kiv::Entity(std::move(name)) {}

  virtual Quill::String prefixPath() const = 0;
  virtual Quill::String suffixPath() const = 0;

  // Loads the plug-ins found under <root>/<prefix>/<suffix> for every root of
  // the plug-in search path (see platform/Plugin/SearchPath.h) into `loader`.
  static void load(std::string_view prefix, std::string_view suffix, Plugin::Loader<void>& loader);
  // Loads the plug-ins under <root>/<prefix>/<suffix> of one more plug-in
  // root that the program names (platform/Plugin/FeaturePlugins.h); returns
  // how many loaded now.
  static std::size_t loadRoot(std::string_view root, std::string_view prefix, std::string_view suffix,
                              Plugin::Loader<void>& loader);

  // The plug-in loader object of T's singleton, made once per process and
  // named after the singleton's framework type.
  template <class T>
  static Plugin::Loader<void>& pluginLoader(const T& singleton);

  // T provides `static const Quill::TypeData& typeDataStatic()`. The singleton
  // (named after T's type) and the plug-in loader object are made once per
  // process and kept until exit; every call repeats the load, which loads only
  // plug-ins not loaded before. No error escapes: one ends the process.
  template <class T>
  static Quill::Ptr<T> instantiate() noexcept;

 protected:
  ~Singleton() override = default;
};

template <class T>
Plugin::Loader<void>& Singleton::pluginLoader(const T& singleton) {
  static Plugin::Loader<void> loader(singleton.fwkType().str());
  return loader;
}

template <class T>
Quill::Ptr<T> Singleton::instantiate() noexcept {
  try {
    static const Quill::Ptr<T> singleton = [] {
      auto entity = Kiv::Entity::singletonExists(T::typeDataStatic().name);
      if (!entity) entity = Kiv::Entity::singletonIs(T::typeDataStatic());
      auto typed = Quill::ptrDynamicCast<T>(entity);
      QASSERT(typed);
      return typed;
    }();
    load(singleton->prefixPath().view(), singleton->suffixPath().view(), pluginLoader(*singleton));
    return singleton;
  } catch (const std::exception& e) {
    Assert::fail("instantiate", __FILE__, __LINE__, e.what());
  } catch (...) {
    Assert::fail("instantiate", __FILE__, __LINE__, "unknown error");
  }
}

}  // namespace Adjunct::Core::Loader
