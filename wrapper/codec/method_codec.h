#ifndef QUORVANE_WRAPPER_CODEC_METHOD_CODEC_H_
#define QUORVANE_WRAPPER_CODEC_METHOD_CODEC_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "values/method_call.h"
#include "values/method_result.h"

namespace flutter {

// Turns method-channel messages into calls and outcomes into reply bytes.
// Decoders read the caller's bytes in place for the duration of the call;
// encoders return a new vector that the caller owns. Implementations are
// immutable and may be shared between threads.
template <typename T>
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec() = default;
  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  // Null when the message is not a method call.
  virtual std::unique_ptr<MethodCall<T>> DecodeMethodCall(
      const uint8_t* message, uint64_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(
      const MethodCall<T>& method_call) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(
      const T* result = nullptr) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(
      const std::string& error_code, const std::string& error_message = "",
      const T* error_details = nullptr) const = 0;
  // True when the envelope was recognised and `result` was called once;
  // false, with `result` untouched, otherwise.
  virtual bool DecodeResponseEnvelope(const uint8_t* response,
                                      uint64_t response_size,
                                      MethodResult<T>* result) const = 0;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_CODEC_METHOD_CODEC_H_
