// Opens the table library by its path alone, as an agent that only dlopens
// it does: the library must find the platform library beside it by itself.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  void* handle = argc == 2 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : nullptr;
  const char* error = handle == nullptr ? dlerror() : nullptr;
  if (handle == nullptr) {
    std::fprintf(stderr, "dlopen-check: %s\n", error != nullptr ? error : "usage: dlopen-check LIBRARY");
    return 1;
  }
  return dlsym(handle, "_ZN10VelarL3Vfi20localDvpTableFactoryEv") != nullptr ? 0 : 1;
}
