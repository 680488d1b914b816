#include "messaging/engine_method_result.h"

#include "values/log_line.h"

namespace flutter {

PendingReply::~PendingReply() {
  if (reply_) {
    internal::LogLine(
        "Warning: Failed to respond to a message. This is a memory leak.");
  }
}

void PendingReply::Respond(const std::vector<uint8_t>* bytes) {
  if (!reply_) {
    internal::LogLine(
        "Error: Only one of Success, Error, or NotImplemented can be called,",
        " and it can be called exactly once. Ignoring duplicate result.");
    return;
  }
  const uint8_t* data =
      bytes != nullptr && !bytes->empty() ? bytes->data() : nullptr;
  const uint64_t size = bytes != nullptr ? bytes->size() : 0;
  // Emptied before the call, so that a reply that re-enters this result
  // sees it answered.
  BinaryReply reply = std::move(reply_);
  reply_ = nullptr;
  reply(data, size);
}

}  // namespace flutter
