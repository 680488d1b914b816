#ifndef QUORVANE_WINDOWS_LOCAL_TIME_H_
#define QUORVANE_WINDOWS_LOCAL_TIME_H_

#include <cstdint>
#include <ctime>

namespace quorvane {

// The platform seam for one conversion: broken-down local time (tm_isdst as
// given; the certificate handler passes 0, standard time) to seconds since
// the epoch, in 64 bits. Fields out of range are normalised as mktime does.
// Every date from year 0 to 9999 converts, before 1970 to a negative count:
// the same number on every platform.
int64_t LocalTimeToEpochSeconds(std::tm* fields);

}  // namespace quorvane

#endif  // QUORVANE_WINDOWS_LOCAL_TIME_H_
