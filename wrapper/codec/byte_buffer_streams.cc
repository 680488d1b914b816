#include "codec/byte_buffer_streams.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "values/log_line.h"

namespace flutter {
namespace {

constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";

}  // namespace

uint8_t ByteBufferStreamReader::ReadByte() {
  if (position_ >= size_) {
    internal::LogDecodeFailure(kInvalidRead);
    return 0;
  }
  return data_[position_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* destination, uint64_t length) {
  // Written so that neither side can overflow: the position may already be
  // past the end after an alignment.
  if (position_ > size_ || length > size_ - position_) {
    internal::LogDecodeFailure(kInvalidRead);
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

const uint8_t* ByteBufferStreamReader::ReadInPlace(uint64_t length) {
  if (position_ > size_ || length > size_ - position_) {
    return nullptr;
  }
  const uint8_t* bytes = data_ + position_;
  position_ += length;
  return bytes;
}

void ByteBufferStreamWriter::Reserve(uint64_t additional) {
  const size_t size = buffer_->size();
  if (buffer_->capacity() - size >= additional ||
      additional > buffer_->max_size() - size) {
    return;
  }
  buffer_->reserve(
      std::max<size_t>(size + additional, 2 * buffer_->capacity()));
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  if (typeid(*this) == typeid(ByteBufferStreamWriter)) {
    AppendPadding(alignment);
    return;
  }
  // A derived writer sees every padding byte through its WriteByte.
  for (uint64_t i = PaddingAt(buffer_->size(), alignment); i > 0; --i) {
    WriteByte(0);
  }
}

}  // namespace flutter
