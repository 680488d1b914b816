#ifndef QUORVANE_WRAPPER_VALUES_LOG_LINE_H_
#define QUORVANE_WRAPPER_VALUES_LOG_LINE_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace flutter {
namespace internal {

// The channel machinery never raises its failures to callers: it writes one
// line to standard error, flushes, and goes on. Every such line goes
// through here so that each arrives whole and at once.
// The line is built first and written with one call: stdio locks the stream
// for each call, so lines from replies answered on other threads never mix.
inline void LogLine(std::string_view first, std::string_view second = {}) {
  std::string line;
  line.reserve(first.size() + second.size() + 1);
  line.append(first).append(second).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

// One hostile message may hold a million malformed values. Within a decode
// (a DecodeLogScope, nestable; the outermost one counts), the first
// decoding failure is logged as usual and the rest are only counted; when
// the outermost scope ends, one closing line gives their number. The values
// decoded are the same either way.
constexpr int kMaxDecodeFailuresLogged = 1;

struct DecodeLogState {
  int depth = 0;
  int logged = 0;
  uint64_t suppressed = 0;
};

inline DecodeLogState& CurrentDecodeLog() {
  thread_local DecodeLogState state;
  return state;
}

class DecodeLogScope {
 public:
  DecodeLogScope() { ++CurrentDecodeLog().depth; }
  ~DecodeLogScope() {
    DecodeLogState& state = CurrentDecodeLog();
    if (--state.depth > 0) {
      return;
    }
    if (state.suppressed > 0) {
      LogLine("Further decoding failures in this message not shown: ",
              std::to_string(state.suppressed));
    }
    state = DecodeLogState();
  }
  DecodeLogScope(const DecodeLogScope&) = delete;
  DecodeLogScope& operator=(const DecodeLogScope&) = delete;
};

// A decoding failure's line, subject to the scope's budget.
inline void LogDecodeFailure(std::string_view first,
                             std::string_view second = {}) {
  DecodeLogState& state = CurrentDecodeLog();
  if (state.depth > 0 && state.logged >= kMaxDecodeFailuresLogged) {
    ++state.suppressed;
    return;
  }
  ++state.logged;
  LogLine(first, second);
}

}  // namespace internal
}  // namespace flutter

#endif  // QUORVANE_WRAPPER_VALUES_LOG_LINE_H_
