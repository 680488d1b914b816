#include "codec/byte_buffer_streams.h"

#include <cstring>

#include "values/log_line.h"

namespace flutter {
namespace {

constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";

}  // namespace

uint8_t ByteBufferStreamReader::ReadByte() {
  if (position_ >= size_) {
    internal::LogLine(kInvalidRead);
    return 0;
  }
  return data_[position_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* destination, uint64_t length) {
  // Written so that neither side can overflow: the position may already be
  // past the end after an alignment.
  if (position_ > size_ || length > size_ - position_) {
    internal::LogLine(kInvalidRead);
    return;
  }
  if (length > 0) {
    std::memcpy(destination, data_ + position_, length);
  }
  position_ += length;
}

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;  // no multiple to reach; guards the division
  }
  const uint64_t remainder = position_ % alignment;
  if (remainder != 0) {
    position_ += alignment - remainder;
  }
}

uint64_t ByteBufferStreamReader::BytesRemaining() const {
  return position_ < size_ ? size_ - position_ : 0;
}

void ByteBufferStreamWriter::WriteByte(uint8_t byte) { buffer_->push_back(byte); }

void ByteBufferStreamWriter::WriteBytes(const uint8_t* bytes, uint64_t length) {
  if (length > 0) {
    buffer_->insert(buffer_->end(), bytes, bytes + length);
  }
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  const uint64_t remainder = buffer_->size() % alignment;
  if (remainder == 0) {
    return;
  }
  for (uint64_t i = remainder; i < alignment; ++i) {
    WriteByte(0);
  }
}

}  // namespace flutter
