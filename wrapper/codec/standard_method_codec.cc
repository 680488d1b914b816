#include "codec/standard_method_codec.h"

#include <map>
#include <mutex>

#include "codec/byte_buffer_streams.h"
#include "values/log_line.h"

namespace flutter {
namespace {

// The value to write, by reference: `p == nullptr ? EncodableValue() : *p`
// would copy *p (the conditional's result is a new object), once per encode.
const EncodableValue& OrNull(const EncodableValue* value) {
  static const EncodableValue* const null_value = new EncodableValue();
  return value == nullptr ? *null_value : *value;
}

}  // namespace

const StandardMethodCodec& StandardMethodCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) {
    serializer = &StandardCodecSerializer::GetInstance();
  }
  // Leaked on purpose: channels keep references to these codecs, and may
  // still use them while static objects are destroyed at exit.
  static auto* const table =
      new std::map<const StandardCodecSerializer*,
                   std::unique_ptr<StandardMethodCodec>>();
  static auto* const table_mutex = new std::mutex();
  const std::lock_guard<std::mutex> lock(*table_mutex);
  auto& codec = (*table)[serializer];
  if (!codec) {
    codec.reset(new StandardMethodCodec(serializer));
  }
  return *codec;
}

std::unique_ptr<MethodCall<EncodableValue>>
StandardMethodCodec::DecodeMethodCall(const uint8_t* message,
                                      uint64_t message_size) const {
  const internal::DecodeLogScope log_scope;
  ByteBufferStreamReader stream(message, message_size);
  EncodableValue name = serializer_->ReadValue(&stream);
  auto* name_text = name.TryGet<std::string>();
  if (name_text == nullptr) {
    internal::LogLine("Invalid method call; method name is not a string.");
    return nullptr;
  }
  auto arguments =
      std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
  return std::make_unique<MethodCall<EncodableValue>>(std::move(*name_text),
                                                      std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCall(
    const MethodCall<EncodableValue>& method_call) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(encoded.get());
  serializer_->WriteValue(EncodableValue(method_call.MethodName()), &stream);
  const EncodableValue* arguments = method_call.Arguments();
  serializer_->WriteValue(OrNull(arguments), &stream);
  return encoded;
}

std::unique_ptr<std::vector<uint8_t>>
StandardMethodCodec::EncodeSuccessEnvelope(const EncodableValue* result) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(encoded.get());
  stream.WriteByte(0);
  serializer_->WriteValue(OrNull(result), &stream);
  return encoded;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelope(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* error_details) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(encoded.get());
  stream.WriteByte(1);
  serializer_->WriteValue(EncodableValue(error_code), &stream);
  serializer_->WriteValue(
      error_message.empty() ? EncodableValue() : EncodableValue(error_message),
      &stream);
  serializer_->WriteValue(OrNull(error_details), &stream);
  return encoded;
}

bool StandardMethodCodec::DecodeResponseEnvelope(
    const uint8_t* response, uint64_t response_size,
    MethodResult<EncodableValue>* result) const {
  const internal::DecodeLogScope log_scope;
  ByteBufferStreamReader stream(response, response_size);
  const uint8_t envelope = stream.ReadByte();
  if (envelope == 0) {
    const EncodableValue value = serializer_->ReadValue(&stream);
    result->Success(value.IsNull() ? nullptr : &value);
    return true;
  }
  if (envelope != 1) {
    return false;
  }
  const EncodableValue code = serializer_->ReadValue(&stream);
  const EncodableValue message = serializer_->ReadValue(&stream);
  const EncodableValue details = serializer_->ReadValue(&stream);
  const auto* code_text = code.TryGet<std::string>();
  const auto* message_text = message.TryGet<std::string>();
  if (code_text == nullptr || (message_text == nullptr && !message.IsNull())) {
    return false;
  }
  result->Error(*code_text,
                message_text == nullptr ? std::string() : *message_text,
                details.IsNull() ? nullptr : &details);
  return true;
}

}  // namespace flutter
