#ifndef QUORVANE_WRAPPER_CODEC_BYTE_STREAMS_H_
#define QUORVANE_WRAPPER_CODEC_BYTE_STREAMS_H_

#include <cstdint>

namespace flutter {

// A source of message bytes for the standard codec. Alignment is measured
// as an offset from the first byte of the message, never as an address.
class ByteStreamReader {
 public:
  ByteStreamReader() = default;
  virtual ~ByteStreamReader() = default;
  ByteStreamReader(const ByteStreamReader&) = delete;
  ByteStreamReader& operator=(const ByteStreamReader&) = delete;

  // The next byte, or 0 (with a logged line) past the end.
  virtual uint8_t ReadByte() = 0;
  // All `length` bytes, or none (with a logged line): never a part.
  virtual void ReadBytes(uint8_t* destination, uint64_t length) = 0;
  // Skips to the next multiple of `alignment`, unread and unchecked.
  virtual void ReadAlignment(uint8_t alignment) = 0;
  // How many bytes are left to read. Decoders check every claimed length
  // and count against it before they allocate for it.
  virtual uint64_t BytesRemaining() const = 0;
  // Lends the next `length` bytes in place and moves past them, so that a
  // decoder can build a string or byte vector in one copy. Null, with
  // nothing consumed and nothing logged, when the bytes are not all there
  // or the reader cannot lend them (the default); the caller then falls
  // back to ReadBytes. The bytes live as long as the message does.
  virtual const uint8_t* ReadInPlace(uint64_t /*length*/) { return nullptr; }
};

// A sink for message bytes. Alignment pads from the sink's first byte.
class ByteStreamWriter {
 public:
  ByteStreamWriter() = default;
  virtual ~ByteStreamWriter() = default;
  ByteStreamWriter(const ByteStreamWriter&) = delete;
  ByteStreamWriter& operator=(const ByteStreamWriter&) = delete;

  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, uint64_t length) = 0;
  virtual void WriteAlignment(uint8_t alignment) = 0;
  // A hint that about `additional` more bytes are coming, so that a sink
  // can grow once instead of many times. Writes nothing; may be ignored.
  virtual void Reserve(uint64_t /*additional*/) {}
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_CODEC_BYTE_STREAMS_H_
