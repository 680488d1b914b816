#ifndef QUORVANE_WRAPPER_CODEC_STANDARD_METHOD_CODEC_H_
#define QUORVANE_WRAPPER_CODEC_STANDARD_METHOD_CODEC_H_

#include "codec/method_codec.h"
#include "codec/standard_codec_serializer.h"
#include "values/encodable_value.h"

namespace flutter {

// The method codec over the standard value format.
//   method call:      name (a string value), then arguments (or null)
//   success envelope: 00, then the result (or null)
//   error envelope:   01, code (string), message (string, or null when
//                     empty), details (or null)
// Alignment inside an envelope counts the envelope byte.
//
// Made only by GetInstance, which keeps one codec per serializer for the
// life of the process (never destroyed); the table is locked, so any
// thread may ask. A decoded call always has an arguments value, maybe null.
class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  // The codec bound to `serializer`, or to the shared standard serializer.
  static const StandardMethodCodec& GetInstance(
      const StandardCodecSerializer* serializer = nullptr);

  ~StandardMethodCodec() override = default;

  std::unique_ptr<MethodCall<EncodableValue>> DecodeMethodCall(
      const uint8_t* message, uint64_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(
      const MethodCall<EncodableValue>& method_call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(
      const EncodableValue* result = nullptr) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(
      const std::string& error_code, const std::string& error_message = "",
      const EncodableValue* error_details = nullptr) const override;
  // An error envelope whose code is not a string, or whose message is
  // neither null nor a string, is not recognised: false, result untouched.
  bool DecodeResponseEnvelope(
      const uint8_t* response, uint64_t response_size,
      MethodResult<EncodableValue>* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer)
      : serializer_(serializer) {}

  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_CODEC_STANDARD_METHOD_CODEC_H_
