// Untrusted bytes as a reply envelope: the result is called exactly once
// when the envelope is recognised, and never otherwise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "codec/standard_method_codec.h"

namespace {

class CountingResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  void Success(const flutter::EncodableValue* /*result*/) override { ++calls; }
  void Error(const std::string& /*code*/, const std::string& /*message*/,
             const flutter::EncodableValue* /*details*/) override {
    ++calls;
  }
  void NotImplemented() override { ++calls; }
  int calls = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CountingResult result;
  const bool recognised =
      flutter::StandardMethodCodec::GetInstance().DecodeResponseEnvelope(
          data, size, &result);
  if (result.calls != (recognised ? 1 : 0)) {
    std::abort();
  }
  return 0;
}
