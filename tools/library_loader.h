#ifndef QUORVANE_TOOLS_LIBRARY_LOADER_H_
#define QUORVANE_TOOLS_LIBRARY_LOADER_H_

#include <string>

namespace quorvane_host {

// The platform seam for loading a dynamic library: the address of `symbol`
// in the library at `path`, or null with `error` set. The library is never
// unloaded.
void* LoadLibrarySymbol(const std::string& path, const char* symbol,
                        std::string* error);

}  // namespace quorvane_host

#endif  // QUORVANE_TOOLS_LIBRARY_LOADER_H_
