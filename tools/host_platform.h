#ifndef QUORVANE_TOOLS_HOST_PLATFORM_H_
#define QUORVANE_TOOLS_HOST_PLATFORM_H_

// The host tool's platform seam: files and local time.

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

// "2036-12-31T23:59:59+01:00": the instant as local ISO 8601 date-time.
std::string LocalIsoDateTime(int64_t seconds_since_epoch);

}  // namespace quorvane_host

#endif  // QUORVANE_TOOLS_HOST_PLATFORM_H_
