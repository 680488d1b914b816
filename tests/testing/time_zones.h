#ifndef QUORVANE_TESTS_TESTING_TIME_ZONES_H_
#define QUORVANE_TESTS_TESTING_TIME_ZONES_H_

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform.h"

namespace quorvane_testing {

// The zones the expiry tests run in. POSIX zones with explicit rules: both
// C runtimes read them alike (a Unix zone name reads as UTC on Windows, and
// as a zone file with its history here).
struct TimeZone {
  const char* tz;
  int64_t standard_west_of_utc;
};
inline constexpr TimeZone kTimeZones[] = {
    {"UTC0", 0},
    {"EST5EDT,M3.2.0,M11.1.0", int64_t{5} * 3600},
    {"JST-9", int64_t{-9} * 3600},
    {"CET-1CEST,M3.5.0,M10.5.0/3", int64_t{-1} * 3600},
};

// Sets TZ for this process, and so for the processes it starts, and makes
// the C runtime read it; puts the old value back at the end.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    old_ = had_ ? old : "";
    SetEnvironment("TZ", zone);
    ReloadTimeZone();
  }
  ~ScopedTimeZone() {
    if (had_) {
      SetEnvironment("TZ", old_);
    } else {
      UnsetEnvironment("TZ");
    }
    ReloadTimeZone();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

}  // namespace quorvane_testing

#endif  // QUORVANE_TESTS_TESTING_TIME_ZONES_H_
