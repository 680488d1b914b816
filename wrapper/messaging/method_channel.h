#ifndef QUORVANE_WRAPPER_MESSAGING_METHOD_CHANNEL_H_
#define QUORVANE_WRAPPER_MESSAGING_METHOD_CHANNEL_H_

#include <functional>
#include <memory>
#include <string>

#include "codec/method_codec.h"
#include "messaging/binary_messenger.h"
#include "values/encodable_value.h"
#include "values/method_call.h"
#include "values/method_result.h"

namespace flutter {

// Receives a decoded call and takes over its result; it may answer at
// once, keep the result and answer later, or drop it (a warning is logged
// and the message goes unanswered).
using MethodCallHandler =
    std::function<void(const MethodCall<EncodableValue>& call,
                       std::unique_ptr<MethodResult<EncodableValue>> result)>;

// Binds a channel name, a messenger and a codec (neither owned; both must
// outlive the installed handler). The installed handler keeps its own
// copies of the method handler, the codec pointer and the name, so the
// channel object may be destroyed right after installation. A message that
// is not a method call is logged and answered empty.
class MethodChannel {
 public:
  MethodChannel(BinaryMessenger* messenger, std::string name,
                const MethodCodec<EncodableValue>* codec)
      : messenger_(messenger), name_(std::move(name)), codec_(codec) {}

  // Replaces the channel's handler; an empty one clears the channel.
  void SetMethodCallHandler(const MethodCallHandler& handler) const;

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<EncodableValue>* codec_;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_MESSAGING_METHOD_CHANNEL_H_
