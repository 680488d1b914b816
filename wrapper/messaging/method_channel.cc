#include "messaging/method_channel.h"

#include <utility>

#include "messaging/engine_method_result.h"
#include "values/log_line.h"

namespace flutter {

void MethodChannel::SetMethodCallHandler(
    const MethodCallHandler& handler) const {
  if (!handler) {
    messenger_->SetMessageHandler(name_, nullptr);
    return;
  }
  messenger_->SetMessageHandler(
      name_,
      [handler, codec = codec_, name = name_](
          const uint8_t* message, uint64_t message_size, BinaryReply reply) {
        auto result = std::make_unique<EngineMethodResult<EncodableValue>>(
            std::move(reply), codec);
        const auto call = codec->DecodeMethodCall(message, message_size);
        if (!call) {
          internal::LogLine(
              "Unable to construct method call from message on channel ", name);
          result->NotImplemented();
          return;
        }
        handler(*call, std::move(result));
      });
}

}  // namespace flutter
