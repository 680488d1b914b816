#ifndef QUORVANE_WRAPPER_MESSAGING_ENGINE_METHOD_RESULT_H_
#define QUORVANE_WRAPPER_MESSAGING_ENGINE_METHOD_RESULT_H_

#include <memory>
#include <string>
#include <vector>

#include "codec/method_codec.h"
#include "messaging/binary_messenger.h"
#include "values/method_result.h"

namespace flutter {

// Lets exactly one answer through to a BinaryReply. A second answer is
// logged and dropped; destruction while unanswered logs a warning and
// drops the reply uncalled (the engine then gets no response).
class PendingReply {
 public:
  explicit PendingReply(BinaryReply reply) : reply_(std::move(reply)) {}
  ~PendingReply();
  PendingReply(const PendingReply&) = delete;
  PendingReply& operator=(const PendingReply&) = delete;

  // Null bytes: an empty answer (null pointer, count 0).
  void Respond(const std::vector<uint8_t>* bytes);

 private:
  BinaryReply reply_;
};

// The result that a method channel hands to its handler: Success and Error
// are encoded as envelopes with the channel's codec (not owned; it outlives
// the result), NotImplemented is an empty answer. Only the first answer
// counts. The holder may keep it and answer later, one call at a time.
template <typename T>
class EngineMethodResult : public MethodResult<T> {
 public:
  EngineMethodResult(BinaryReply reply, const MethodCodec<T>* codec)
      : reply_(std::make_unique<PendingReply>(std::move(reply))),
        codec_(codec) {}
  ~EngineMethodResult() override = default;

  // Encoding comes first, so a duplicate still encodes before it is dropped.
  void Success(const T* result) override {
    const auto bytes = codec_->EncodeSuccessEnvelope(result);
    reply_->Respond(bytes.get());
  }
  void Error(const std::string& error_code, const std::string& error_message,
             const T* error_details) override {
    const auto bytes =
        codec_->EncodeErrorEnvelope(error_code, error_message, error_details);
    reply_->Respond(bytes.get());
  }
  void NotImplemented() override { reply_->Respond(nullptr); }

 private:
  std::unique_ptr<PendingReply> reply_;
  const MethodCodec<T>* codec_;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_MESSAGING_ENGINE_METHOD_RESULT_H_
