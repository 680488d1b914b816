// Decode, encode, decode again: the two decoded values are equal and encode
// to the same bytes. Whatever the first decode salvaged from malformed input
// is a value that the codec carries faithfully.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/byte_buffer_streams.h"
#include "codec/standard_codec_serializer.h"

namespace {

flutter::EncodableValue Decode(const uint8_t* data, size_t size) {
  flutter::ByteBufferStreamReader reader(data, size);
  return flutter::StandardCodecSerializer::GetInstance().ReadValue(&reader);
}

std::vector<uint8_t> Encode(const flutter::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const flutter::EncodableValue first = Decode(data, size);
  const std::vector<uint8_t> bytes = Encode(first);
  const flutter::EncodableValue second = Decode(bytes.data(), bytes.size());
  if (Encode(second) != bytes) {
    std::abort();
  }
  // A NaN is unequal to itself; the byte comparison above covers it.
  const bool comparable = first == first;  // NOLINT(misc-redundant-expression)
  if (comparable && !(first == second)) {
    std::abort();
  }
  return 0;
}
