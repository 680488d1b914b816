#ifndef QUORVANE_WRAPPER_CODEC_BYTE_BUFFER_STREAMS_H_
#define QUORVANE_WRAPPER_CODEC_BYTE_BUFFER_STREAMS_H_

#include <cstdint>
#include <cstring>
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
  const uint8_t* ReadInPlace(uint64_t length) override;

  uint64_t position() const { return position_; }

 private:
  const uint8_t* data_;
  uint64_t size_;
  uint64_t position_ = 0;
};

// Appends to a byte vector that the caller owns; nothing already in it is
// changed. Alignment counts from the vector's first byte, including bytes
// that were there before this writer began, and pads through the virtual
// WriteByte whenever a derived writer could see it.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer)
      : buffer_(buffer) {}
  ~ByteBufferStreamWriter() override = default;

  // Defined inline so that the serializer, having checked that nothing
  // overrides them, can call them directly.
  void WriteByte(uint8_t byte) override { buffer_->push_back(byte); }
  void WriteBytes(const uint8_t* bytes, uint64_t length) override {
    if (length > 0) {
      buffer_->insert(buffer_->end(), bytes, bytes + length);
    }
  }
  void WriteAlignment(uint8_t alignment) override;
  // Grows geometrically, so that many small hints stay amortised O(1).
  void Reserve(uint64_t additional) override;

  // A type byte, padding to `alignment`, then `length` (at most 8) bytes, in
  // one append: what WriteByte, WriteAlignment and WriteBytes would write.
  void AppendAlignedScalar(uint8_t type, uint8_t alignment, const void* bytes,
                           uint64_t length) {
    uint8_t staged[24] = {type};
    const uint64_t padding = PaddingAt(buffer_->size() + 1, alignment);
    std::memcpy(staged + 1 + padding, bytes, length);
    buffer_->insert(buffer_->end(), staged, staged + 1 + padding + length);
  }

  // WriteAlignment's padding appended at once, for a writer whose WriteByte
  // nobody overrides.
  void AppendPadding(uint8_t alignment) {
    const uint64_t padding = PaddingAt(buffer_->size(), alignment);
    static constexpr uint8_t kZeros[8] = {};
    if (padding <= sizeof kZeros) {
      buffer_->insert(buffer_->end(), kZeros, kZeros + padding);
    } else {
      buffer_->resize(buffer_->size() + padding, 0);
    }
  }

 private:
  static uint64_t PaddingAt(uint64_t offset, uint8_t alignment) {
    if (alignment == 0) {
      return 0;
    }
    const uint64_t remainder = (alignment & (alignment - 1)) == 0
                                   ? offset & (alignment - 1u)
                                   : offset % alignment;
    return remainder == 0 ? 0 : alignment - remainder;
  }

  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_CODEC_BYTE_BUFFER_STREAMS_H_
