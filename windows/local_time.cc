#include "local_time.h"

namespace quorvane {

#if defined(_WIN32)

namespace {

// Days from 1970-01-01 to the given proleptic Gregorian date (H. Hinnant's
// days_from_civil), with the month normalised first.
int64_t DaysFromCivil(int64_t year, int64_t month0, int64_t day) {
  year += month0 >= 0 ? month0 / 12 : (month0 - 11) / 12;
  month0 = ((month0 % 12) + 12) % 12;
  const int64_t month = month0 + 1;
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

int64_t LocalTimeToEpochSeconds(std::tm* fields) {
  const __time64_t seconds = _mktime64(fields);
  if (seconds != -1) {
    return seconds;
  }
  // _mktime64 refuses dates before 1970 and after 3000 (RFC 5280's "no
  // expiry" is 9999-12-31). There, apply the zone's standard offset to the
  // civil date, as _mktime64 does within its range. _tzset first: in a
  // fresh process nothing has read TZ yet, and _timezone still holds the
  // runtime's built-in Pacific offset. (_get_timezone is missing from
  // MinGW's import library.)
  _tzset();
  const int64_t west_of_utc = _timezone;
  const int64_t days = DaysFromCivil(int64_t{fields->tm_year} + 1900,
                                     fields->tm_mon, fields->tm_mday);
  return days * 86400 + int64_t{fields->tm_hour} * 3600 +
         int64_t{fields->tm_min} * 60 + fields->tm_sec + west_of_utc;
}

#else

int64_t LocalTimeToEpochSeconds(std::tm* fields) {
  return static_cast<int64_t>(std::mktime(fields));
}

#endif

}  // namespace quorvane
