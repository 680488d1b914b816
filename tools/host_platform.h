#ifndef QUORVANE_TOOLS_HOST_PLATFORM_H_
#define QUORVANE_TOOLS_HOST_PLATFORM_H_

// The host tool's platform seam: the command line, files and time.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane_host {

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path,
                                                  std::string* error);

// Creates `path` with `content`. Never replaces an existing file unless
// `replace`; an `owner_only` file is readable and writable by its owner
// alone, also when it replaces one.
bool WriteNewFile(const std::string& path, const std::string& content,
                  bool owner_only, bool replace, std::string* error);

// The command line's arguments as UTF-8. On Windows the narrow arguments
// are in the ANSI code page, which cannot hold every password or path, so
// they are read again from the wide command line.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The plugin's "expirationTime" counts the certificate's notAfter digits as
// local standard time in this process's zone. This undoes that and names
// the notAfter itself in UTC: "2036-12-31T23:59:59Z", for years 0 to 9999.
std::string NotAfterUtc(int64_t reply_seconds);

}  // namespace quorvane_host

#endif  // QUORVANE_TOOLS_HOST_PLATFORM_H_
