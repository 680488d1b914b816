#include "certificate_handler.h"

#include <string>
#include <utility>
#include <vector>

#include "pkcs12_reader.h"

namespace quorvane {
namespace {

using flutter::EncodableValue;
using flutter::EncodableValueMap;

constexpr char kGetCertificate[] = "getCertificate";
constexpr char kArgumentsMessage[] =
    "Expected arguments {\"certificate\": a byte vector, \"password\": a "
    "string}";

const EncodableValue* FindArgument(const EncodableValueMap& map,
                                   const char* key) {
  const auto entry = map.find(EncodableValue(key));
  return entry == map.end() ? nullptr : &entry->second;
}

template <typename T>
const T* FindTypedArgument(const EncodableValueMap* map, const char* key) {
  if (map == nullptr) {
    return nullptr;
  }
  const EncodableValue* value = FindArgument(*map, key);
  return value == nullptr ? nullptr : value->TryGet<T>();
}

void ReplyError(const MethodResultPtr& result, OpenStatus status,
                const std::string& problem) {
  switch (status) {
    case OpenStatus::kUnreadable:
      result->Error("CERTIFICATE_ERROR", "Couldn't read the certificate file",
                    nullptr);
      return;
    case OpenStatus::kNotAContainer:
    case OpenStatus::kMalformed:
      result->Error("CERTIFICATE_ERROR", "Couldn't embed the certificate",
                    nullptr);
      return;
    case OpenStatus::kNoCertificateForKey:
      result->Error("CERTIFICATE_ERROR",
                    "The container holds no certificate for its private key",
                    nullptr);
      return;
    case OpenStatus::kTooMuchWork:
      result->Error("CERTIFICATE_ERROR",
                    "The container asks for more work than allowed: " + problem,
                    nullptr);
      return;
    case OpenStatus::kAlgorithmUnavailable:
      result->Error(
          "CERTIFICATE_ERROR",
          "The container uses an algorithm that is not available: " + problem,
          nullptr);
      return;
    case OpenStatus::kBadPassword:
      result->Error("BAD_PASSWORD", "Invalid password", nullptr);
      return;
    case OpenStatus::kNoPrivateKey:
      result->Error("CERTIFICATE_ERROR", "The container holds no private key",
                    nullptr);
      return;
    case OpenStatus::kOk:
      break;
  }
}

}  // namespace

void DispatchMethodCall(const flutter::MethodCall<EncodableValue>& call,
                        MethodResultPtr result) {
  if (call.MethodName() != kGetCertificate) {
    result->NotImplemented();
    return;
  }
  const EncodableValue* arguments = call.Arguments();
  HandleGetCertificate(
      arguments == nullptr ? nullptr : arguments->TryGet<EncodableValueMap>(),
      std::move(result));
}

void HandleGetCertificate(const EncodableValueMap* arguments,
                          MethodResultPtr result) {
  const auto* certificate =
      FindTypedArgument<std::vector<uint8_t>>(arguments, "certificate");
  const auto* password = FindTypedArgument<std::string>(arguments, "password");
  if (certificate == nullptr || password == nullptr) {
    result->Error("INVALID_ARGUMENTS", kArgumentsMessage, nullptr);
    return;
  }

  CertificateTexts texts;
  std::string problem;
  const OpenStatus status = OpenPkcs12(certificate->data(), certificate->size(),
                                       password->c_str(), &texts, &problem);
  if (status != OpenStatus::kOk) {
    ReplyError(result, status, problem);
    return;
  }
  const EncodableValue reply(EncodableValueMap{
      {"subject", std::move(texts.subject)},
      {"rootCertBase64", std::move(texts.cert_pem)},
      {"chainCertBase64", std::move(texts.chain_pem)},
      {"privateKeyCertBase64", std::move(texts.key_pem)},
      {"expirationTime", std::move(texts.expiration)},
  });
  result->Success(&reply);
}

}  // namespace quorvane
