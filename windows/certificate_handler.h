#ifndef QUORVANE_WINDOWS_CERTIFICATE_HANDLER_H_
#define QUORVANE_WINDOWS_CERTIFICATE_HANDLER_H_

// The plugin's one service, "getCertificate", apart from the channel that
// carries it. Internal to the plugin library; tests call it directly.

#include <memory>

#include "values/encodable_value.h"
#include "values/method_call.h"
#include "values/method_result.h"

namespace quorvane {

using MethodResultPtr =
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>>;

// Answers "getCertificate" (case-sensitive, byte for byte) and nothing else:
// any other name is answered NotImplemented. Exactly one answer is given,
// synchronously, and the result is destroyed before returning.
void DispatchMethodCall(
    const flutter::MethodCall<flutter::EncodableValue>& call,
    MethodResultPtr result);

// Opens the PKCS#12 container in arguments["certificate"] (byte vector) with
// arguments["password"] (string, cut at its first NUL) in memory; nothing
// touches the disk. Success is a map of five strings: "subject",
// "rootCertBase64", "chainCertBase64", "privateKeyCertBase64" and
// "expirationTime". Errors carry no details:
//   INVALID_ARGUMENTS   the arguments are not the expected map
//   CERTIFICATE_ERROR   the bytes are not a container, or it holds no key
//   BAD_PASSWORD        the password does not open it, or no certificate
// Safe to run on several threads at once. `arguments` may be null.
void HandleGetCertificate(const flutter::EncodableValueMap* arguments,
                          MethodResultPtr result);

}  // namespace quorvane

#endif  // QUORVANE_WINDOWS_CERTIFICATE_HANDLER_H_
