#ifndef QUORVANE_WRAPPER_VALUES_LOG_LINE_H_
#define QUORVANE_WRAPPER_VALUES_LOG_LINE_H_

#include <iostream>
#include <string_view>

namespace flutter {
namespace internal {

// The channel machinery never raises its failures to callers: it writes one
// line to standard error, flushes, and goes on. Every such line goes
// through here so that each arrives whole and at once.
inline void LogLine(std::string_view first, std::string_view second = {}) {
  std::cerr << first << second << std::endl;
}

}  // namespace internal
}  // namespace flutter

#endif  // QUORVANE_WRAPPER_VALUES_LOG_LINE_H_
