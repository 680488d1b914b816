#include "library_loader.h"

#if defined(_WIN32)
#include <windows.h>

#include <filesystem>
#else
#include <dlfcn.h>
#endif

namespace quorvane_host {

void* LoadLibrarySymbol(const std::string& path, const char* symbol,
                        std::string* error) {
#if defined(_WIN32)
  const std::wstring wide = std::filesystem::u8path(path).wstring();
  HMODULE library = LoadLibraryW(wide.c_str());
  if (library == nullptr) {
    *error = "cannot load " + path;
    return nullptr;
  }
  void* address = reinterpret_cast<void*>(GetProcAddress(library, symbol));
  if (address == nullptr) {
    *error = path + " has no " + symbol;
  }
  return address;
#else
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "cannot load " + path;
    return nullptr;
  }
  void* address = dlsym(library, symbol);
  if (address == nullptr) {
    *error = path + " has no " + symbol;
  }
  return address;
#endif
}

}  // namespace quorvane_host
