#ifndef QUORVANE_WRAPPER_CODEC_BYTE_BUFFER_STREAMS_H_
#define QUORVANE_WRAPPER_CODEC_BYTE_BUFFER_STREAMS_H_

#include <cstdint>
#include <vector>

#include "codec/byte_streams.h"

namespace flutter {

// Reads a message in place from memory that the caller owns and keeps
// unchanged while the reader is used. A read past the end writes "Invalid
// read in StandardCodecByteStreamReader", yields 0 or leaves the
// destination untouched, and consumes nothing: the next read starts at the
// same place. There is no error state. One thread; one decode.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* data, uint64_t size)
      : data_(data), size_(size) {}
  ~ByteBufferStreamReader() override = default;

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* destination, uint64_t length) override;
  // May carry the position past the end; every later read then fails.
  void ReadAlignment(uint8_t alignment) override;
  uint64_t BytesRemaining() const override;

  uint64_t position() const { return position_; }

 private:
  const uint8_t* data_;
  uint64_t size_;
  uint64_t position_ = 0;
};

// Appends to a byte vector that the caller owns; nothing already in it is
// changed. Alignment counts from the vector's first byte, including bytes
// that were there before this writer began, and pads through the virtual
// WriteByte so that a derived writer sees every byte.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer)
      : buffer_(buffer) {}
  ~ByteBufferStreamWriter() override = default;

  void WriteByte(uint8_t byte) override;
  void WriteBytes(const uint8_t* bytes, uint64_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_CODEC_BYTE_BUFFER_STREAMS_H_
