#ifndef QUORVANE_WRAPPER_CODEC_STANDARD_CODEC_SERIALIZER_H_
#define QUORVANE_WRAPPER_CODEC_STANDARD_CODEC_SERIALIZER_H_

#include <cstdint>

#include "codec/byte_streams.h"
#include "values/encodable_value.h"

namespace flutter {

// Writes and reads values in the standard codec's byte format: a type byte,
// then the payload; sizes in 1, 3 or 5 bytes; numbers in host byte order;
// doubles and typed-vector elements aligned from the message's first byte.
//
// Stateless and shareable across threads (each call on its own stream).
// Nested values go through the virtual WriteValue and ReadValueOfType, so a
// derived serializer that adds types is consulted at every depth.
//
// Untrusted input never stops the decoder and never drives memory or stack
// use beyond what the message can back. Every problem writes one line to
// standard error and decoding goes on:
//   - a type byte 15..255 reads as null; the bytes after it are not skipped;
//   - a read past the end yields zeros (a missing type byte reads as null);
//   - a string, byte vector or typed vector whose claimed size is larger than
//     the bytes left reads as an empty value of its type, and nothing of it
//     is consumed; it is never allocated at its claimed size;
//   - a list or map whose claimed count is larger than the bytes left could
//     hold (one byte per element, two per entry) reads as an empty container;
//     one whose elements run out part way keeps the elements read so far;
//   - a list reserves room for its count only as far as the bytes left back
//     it beyond what enclosing lists still need, so a decode holds room for
//     at most two elements per message byte however claims nest;
//   - a list or map nested deeper than kMaxNestingDepth reads as null, and
//     the containers around it end there: the rest of the message is not
//     read, so one hostile value cannot cost more than one log line;
//   - a duplicate map key keeps the first entry.
// Well-formed messages decode exactly as written.
//
// Writing never fails. A custom value is written as null with a log line. A
// value whose size does not fit the 32-bit size form (4 GiB and beyond) is
// written as null with a log line, never with a truncated size that would
// misframe the rest of the message. Empty typed vectors are written with
// their alignment padding, as the reader expects it.
class StandardCodecSerializer {
 public:
  // Containers deeper than this decode as null. Each level costs two stack
  // frames of a few hundred bytes (more under sanitizers), so the whole
  // budget stays far below a 1 MiB thread stack, while real messages
  // (arguments, replies, JSON-like trees) nest a handful of levels.
  static constexpr int kMaxNestingDepth = 128;

  StandardCodecSerializer() = default;
  virtual ~StandardCodecSerializer() = default;
  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The shared instance, made on first use (thread-safe), destroyed at exit.
  static const StandardCodecSerializer& GetInstance();

  virtual void WriteValue(const EncodableValue& value,
                          ByteStreamWriter* stream) const;
  virtual EncodableValue ReadValueOfType(uint8_t type,
                                         ByteStreamReader* stream) const;

  // One type byte, then ReadValueOfType through the virtual slot.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  // The size forms: 0..253 in one byte; 254 and a 16-bit number; 255 and a
  // 32-bit number. A size of 2^32 or more keeps only its low 32 bits here;
  // WriteValue never passes one.
  // Members, not static, so that derived serializers can build on them.
  void WriteSize(uint64_t size, ByteStreamWriter* stream) const;
  uint32_t ReadSize(ByteStreamReader* stream) const;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_CODEC_STANDARD_CODEC_SERIALIZER_H_
