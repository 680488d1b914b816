#include "host_platform.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvane_host {

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path,
                                                  std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "cannot read " + path;
    return std::nullopt;
  }
  return bytes;
}

bool WriteNewFile(const std::string& path, const std::string& content,
                  bool owner_only, bool replace, std::string* error) {
#if defined(_WIN32)
  if (!replace && _access(path.c_str(), 0) == 0) {
    *error = path + " exists (--force replaces it)";
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out.flush()) {
    *error = "cannot write " + path;
    return false;
  }
  static_cast<void>(owner_only);  // the user's profile ACLs apply
  return true;
#else
  const mode_t mode = owner_only ? 0600 : 0644;
  // O_EXCL refuses an existing file (and a planted link) atomically.
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW |
                    (replace ? O_TRUNC : O_EXCL);
  const int fd = open(path.c_str(), flags, mode);
  if (fd < 0) {
    *error = errno == EEXIST
                 ? path + " exists (--force replaces it)"
                 : "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = !owner_only || fchmod(fd, 0600) == 0;
  size_t written = 0;
  while (ok && written < content.size()) {
    const ssize_t n =
        write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    ok = n > 0;
    written += ok ? static_cast<size_t>(n) : 0;
  }
  ok = close(fd) == 0 && ok;
  if (!ok) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
  }
  return ok;
#endif
}

std::string LocalIsoDateTime(int64_t seconds_since_epoch) {
  const auto seconds = static_cast<std::time_t>(seconds_since_epoch);
  std::tm local{};
#if defined(_WIN32)
  if (localtime_s(&local, &seconds) != 0) {
    return "(not representable)";
  }
#else
  if (localtime_r(&seconds, &local) == nullptr) {
    return "(not representable)";
  }
#endif
  char text[64];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0) {
    return "(not representable)";
  }
  std::string iso(text);
  if (iso.size() >= 5) {
    iso.insert(iso.size() - 2, ":");  // +0100 -> +01:00
  }
  return iso;
}

}  // namespace quorvane_host
