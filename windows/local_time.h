#ifndef QUORVANE_WINDOWS_LOCAL_TIME_H_
#define QUORVANE_WINDOWS_LOCAL_TIME_H_

#include <cstdint>
#include <ctime>

namespace quorvane {

// The platform seam for one conversion: broken-down local time (tm_isdst as
// given; the certificate handler passes 0, standard time) to seconds since
// the epoch, in 64 bits. Fields out of range are normalised as mktime does.
// Returns -1 when the platform cannot represent the instant.
int64_t LocalTimeToEpochSeconds(std::tm* fields);

}  // namespace quorvane

#endif  // QUORVANE_WINDOWS_LOCAL_TIME_H_
