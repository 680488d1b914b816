#ifndef QUORVANE_WRAPPER_VALUES_METHOD_RESULT_H_
#define QUORVANE_WRAPPER_VALUES_METHOD_RESULT_H_

#include <string>

namespace flutter {

// The answer sink of one method call. Contract: exactly one of Success,
// Error and NotImplemented is called, exactly once. This abstract class
// keeps no state and enforces nothing; the engine-backed result ignores and
// logs answers after the first. Values passed in are read during the call
// and not kept. Whoever holds the owning pointer destroys the result.
template <typename T>
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;

  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  virtual void Success(const T* result) = 0;
  virtual void Error(const std::string& error_code,
                     const std::string& error_message,
                     const T* error_details) = 0;
  virtual void NotImplemented() = 0;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_VALUES_METHOD_RESULT_H_
