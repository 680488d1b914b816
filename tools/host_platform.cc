#include "host_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
// windows.h first.
#include <shellapi.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvane_host {

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path,
                                                  std::string* error) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
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
  const auto native = std::filesystem::u8path(path);
  std::error_code ignored;
  if (!replace && std::filesystem::exists(native, ignored)) {
    *error = path + " exists (--force replaces it)";
    return false;
  }
  std::ofstream out(native, std::ios::binary | std::ios::trunc);
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

namespace {

// Proleptic Gregorian date of a day count from 1970-01-01 (H. Hinnant's
// civil_from_days), valid far beyond years 0 to 9999.
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = yoe + era * 400 + (*month <= 2 ? 1 : 0);
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Seconds west of UTC of this zone's standard time around the instant, as
// the plugin's conversion applied it.
int64_t StandardWestOfUtc(int64_t seconds) {
#if defined(_WIN32)
  static_cast<void>(seconds);
  _tzset();  // the CRT has one standard offset per zone
  return _timezone;
#else
  // Read the instant's UTC fields as local standard time, as the plugin
  // did: the difference is the offset, with the zone's history.
  const auto instant = static_cast<std::time_t>(seconds);
  std::tm fields{};
  if (gmtime_r(&instant, &fields) == nullptr) {
    return 0;
  }
  fields.tm_isdst = 0;
  const std::time_t local = std::mktime(&fields);
  return local == -1 ? 0 : static_cast<int64_t>(local) - seconds;
#endif
}

}  // namespace

std::string NotAfterUtc(int64_t reply_seconds) {
  const int64_t utc = reply_seconds - StandardWestOfUtc(reply_seconds);
  const int64_t days = FloorDiv(utc, 86400);
  const int64_t in_day = utc - days * 86400;
  int64_t year = 0;
  int month = 0;
  int day = 0;
  CivilFromDays(days, &year, &month, &day);
  if (year < 0 || year > 9999) {
    return "(not representable)";
  }
  char text[32];
  std::snprintf(
      text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ",
      static_cast<int>(year), month, day, static_cast<int>(in_day / 3600),
      static_cast<int>(in_day / 60 % 60), static_cast<int>(in_day % 60));
  return text;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#if defined(_WIN32)
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; wide != nullptr && i < count; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0,
                                      nullptr, nullptr);
    std::string text(n > 0 ? static_cast<size_t>(n) : 1u, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), n, nullptr,
                        nullptr);
    text.resize(text.size() - 1);  // the terminating NUL
    arguments.push_back(std::move(text));
  }
  LocalFree(wide);
  if (static_cast<int>(arguments.size()) == argc) {
    return arguments;
  }
#endif
  std::vector<std::string> narrow;
  narrow.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    narrow.emplace_back(argv[i]);
  }
  return narrow;
}

}  // namespace quorvane_host
