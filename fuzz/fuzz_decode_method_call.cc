// Untrusted bytes as a method-call message: whatever comes in, decoding ends
// with a call or none, within the fuzzer's memory limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "codec/standard_method_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const auto call = codec.DecodeMethodCall(data, size);
  if (call != nullptr && call->Arguments() == nullptr) {
    std::abort();  // a decoded call always carries its arguments
  }
  return 0;
}
