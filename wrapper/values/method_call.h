#ifndef QUORVANE_WRAPPER_VALUES_METHOD_CALL_H_
#define QUORVANE_WRAPPER_VALUES_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

namespace flutter {

// A decoded method call: the method name and its arguments. The call owns
// the arguments; handlers see the call by const reference for the duration
// of one handler run. A call decoded by the standard codec always has an
// arguments value, which may hold null.
template <typename T>
class MethodCall {
 public:
  MethodCall(std::string method_name, std::unique_ptr<T> arguments)
      : method_name_(std::move(method_name)),
        arguments_(std::move(arguments)) {}
  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& MethodName() const { return method_name_; }

  // Null when the call has no arguments; the call keeps ownership.
  const T* Arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<T> arguments_;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_VALUES_METHOD_CALL_H_
