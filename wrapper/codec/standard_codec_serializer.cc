#include "codec/standard_codec_serializer.h"

#include <algorithm>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

#include "codec/byte_buffer_streams.h"
#include "values/log_line.h"

namespace flutter {
namespace {

enum Type : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // read as a string, never written
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";

// Per-thread decoding state: the nesting depth, whether a value nested too
// deep has ended the current message, and the list slots reserved and not
// yet reached. The serializer itself is shared and stateless, and nested
// reads pass through virtual calls that may belong to a derived serializer,
// so this cannot travel as a parameter.
//
// A list reserves room for its whole claimed count at once (growing by
// doubling would cost up to twice the elements again, and a copy of each
// while it grows), but nested lists each make their claim before any
// element is read. So a list reserves only what the bytes left can back
// after the slots that the lists around it still have to fill, one byte
// per element: true claims reserve exactly, and the slots reserved and not
// yet reached never outnumber the bytes left, so a decode holds room for at
// most two elements per message byte, however deep the lies nest.
struct DecodeState {
  int depth = 0;
  bool abandoned = false;
  uint64_t reserved_slots = 0;
};
thread_local DecodeState decode_state;

class NestingScope {
 public:
  NestingScope() { ++decode_state.depth; }
  ~NestingScope() {
    if (--decode_state.depth == 0) {
      decode_state = DecodeState();  // the next message starts afresh
    }
  }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;

  // True when this container is one level too deep; logs once per message.
  static bool TooDeep() {
    if (decode_state.depth <= StandardCodecSerializer::kMaxNestingDepth) {
      return false;
    }
    if (!decode_state.abandoned) {
      internal::LogDecodeFailure(
          "Value nested too deeply in StandardCodecSerializer::ReadValueOfType"
          "; the rest of the message is ignored.");
      decode_state.abandoned = true;
    }
    return true;
  }
  static bool Abandoned() { return decode_state.abandoned; }
};

// Roughly what one element will take, without looking inside containers
// (they give their own hint when they are written). Only sizes the sink.
uint64_t SizeHint(const EncodableValue& value) {
  switch (value.index()) {
    case 2:
      return 5;
    case 3:
      return 9;
    case 4:
      return 16;  // type byte, up to 7 padding bytes, 8 bytes
    case 5:
      return 5 + value.TryGet<std::string>()->size();
    case 6:
      return 5 + value.TryGet<std::vector<uint8_t>>()->size();
    case 7:
      return 8 + 4 * value.TryGet<std::vector<int32_t>>()->size();
    case 8:
      return 12 + 8 * value.TryGet<std::vector<int64_t>>()->size();
    case 9:
      return 12 + 8 * value.TryGet<std::vector<double>>()->size();
    case 13:
      return 8 + 4 * value.TryGet<std::vector<float>>()->size();
    default:
      return 1;
  }
}

// Two ways to reach a writer. Through the abstract interface, as any
// writer must be reached; or, when the writer is exactly the buffer writer
// (nothing overrides its operations), by direct calls that the compiler can
// inline: the same bytes, without four indirect calls per scalar.
// A derived writer sees exactly the calls that the format describes: no
// WriteBytes for nothing (an empty string), no alignment to 1 (integers).
struct VirtualSink {
  ByteStreamWriter* stream;
  void Byte(uint8_t byte) const { stream->WriteByte(byte); }
  void Bytes(const void* bytes, uint64_t length) const {
    if (length > 0) {
      stream->WriteBytes(static_cast<const uint8_t*>(bytes), length);
    }
  }
  void Align(uint8_t alignment) const { stream->WriteAlignment(alignment); }
  void Reserve(uint64_t additional) const { stream->Reserve(additional); }
  void AlignedScalar(uint8_t type, uint8_t alignment, const void* bytes,
                     uint64_t length) const {
    Byte(type);
    if (alignment > 1) {
      Align(alignment);
    }
    Bytes(bytes, length);
  }
  static constexpr bool kDirect = false;
};

struct BufferSink {
  ByteBufferStreamWriter* stream;
  void Byte(uint8_t byte) const {
    stream->ByteBufferStreamWriter::WriteByte(byte);
  }
  void Bytes(const void* bytes, uint64_t length) const {
    stream->ByteBufferStreamWriter::WriteBytes(
        static_cast<const uint8_t*>(bytes), length);
  }
  void Align(uint8_t alignment) const { stream->AppendPadding(alignment); }
  void Reserve(uint64_t additional) const {
    stream->ByteBufferStreamWriter::Reserve(additional);
  }
  void AlignedScalar(uint8_t type, uint8_t alignment, const void* bytes,
                     uint64_t length) const {
    stream->AppendAlignedScalar(type, alignment, bytes, length);
  }
  static constexpr bool kDirect = true;
};

template <typename Sink>
void WriteSizeTo(uint64_t size, const Sink& sink) {
  if (size < 254) {
    sink.Byte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    sink.Byte(254);
    const auto narrow = static_cast<uint16_t>(size);
    sink.Bytes(&narrow, sizeof narrow);
  } else {
    sink.Byte(255);
    const auto narrow = static_cast<uint32_t>(size);
    sink.Bytes(&narrow, sizeof narrow);
  }
}

// A size of 2^32 or more has no size form. Such a value is written as null,
// so that the message stays framed, and reported.
template <typename Sink>
bool WriteNullIfTooLarge(uint64_t size, const Sink& sink) {
  if (size <= std::numeric_limits<uint32_t>::max()) {
    return false;
  }
  internal::LogLine(
      "Value too large for StandardCodecSerializer::WriteValue; its size "
      "does not fit 32 bits. Written as null.");
  sink.Byte(kNull);
  return true;
}

template <typename Sink, typename Element>
void WriteTypedVector(uint8_t type, const std::vector<Element>& elements,
                      uint8_t alignment, const Sink& sink) {
  if (WriteNullIfTooLarge(elements.size(), sink)) {
    return;
  }
  sink.Byte(type);
  WriteSizeTo(elements.size(), sink);
  // Padded even when empty: the reader always aligns after the count, and
  // a vector written without the padding would misframe what follows it.
  sink.Align(alignment);
  sink.Bytes(elements.data(), elements.size() * sizeof(Element));
}

template <typename Sink>
void WriteValueTo(const StandardCodecSerializer& serializer,
                  const EncodableValue& value, ByteStreamWriter* stream,
                  const Sink& sink);

// Nested values go through the virtual WriteValue, unless neither the
// serializer nor the writer has anything overridden: then straight on.
template <typename Sink>
void WriteNested(const StandardCodecSerializer& serializer,
                 const EncodableValue& value, ByteStreamWriter* stream,
                 const Sink& sink, bool plain_serializer) {
  if constexpr (Sink::kDirect) {
    if (plain_serializer) {
      WriteValueTo(serializer, value, stream, sink);
      return;
    }
  }
  serializer.WriteValue(value, stream);
}

template <typename Sink>
void WriteValueTo(const StandardCodecSerializer& serializer,
                  const EncodableValue& value, ByteStreamWriter* stream,
                  const Sink& sink) {
  std::visit(
      [&](const auto& payload) {
        using T = std::decay_t<decltype(payload)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          sink.Byte(kNull);
        } else if constexpr (std::is_same_v<T, bool>) {
          sink.Byte(payload ? kTrue : kFalse);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          sink.AlignedScalar(kInt32, 1, &payload, sizeof payload);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          sink.AlignedScalar(kInt64, 1, &payload, sizeof payload);
        } else if constexpr (std::is_same_v<T, double>) {
          sink.AlignedScalar(kFloat64, 8, &payload, sizeof payload);
        } else if constexpr (std::is_same_v<T, std::string> ||
                             std::is_same_v<T, std::vector<uint8_t>>) {
          if (WriteNullIfTooLarge(payload.size(), sink)) {
            return;
          }
          sink.Byte(std::is_same_v<T, std::string> ? kString : kUInt8List);
          WriteSizeTo(payload.size(), sink);
          sink.Bytes(payload.data(), payload.size());
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          WriteTypedVector(kInt32List, payload, 4, sink);
        } else if constexpr (std::is_same_v<T, std::vector<int64_t>>) {
          WriteTypedVector(kInt64List, payload, 8, sink);
        } else if constexpr (std::is_same_v<T, std::vector<double>>) {
          WriteTypedVector(kFloat64List, payload, 8, sink);
        } else if constexpr (std::is_same_v<T, std::vector<float>>) {
          WriteTypedVector(kFloat32List, payload, 4, sink);
        } else if constexpr (std::is_same_v<T, EncodableValueList>) {
          if (WriteNullIfTooLarge(payload.size(), sink)) {
            return;
          }
          uint64_t hint = 5;
          for (const EncodableValue& element : payload) {
            hint += SizeHint(element);
          }
          sink.Reserve(hint);
          sink.Byte(kList);
          WriteSizeTo(payload.size(), sink);
          const bool plain =
              typeid(serializer) == typeid(StandardCodecSerializer);
          for (const EncodableValue& element : payload) {
            WriteNested(serializer, element, stream, sink, plain);
          }
        } else if constexpr (std::is_same_v<T, EncodableValueMap>) {
          if (WriteNullIfTooLarge(payload.size(), sink)) {
            return;
          }
          uint64_t hint = 5;
          for (const auto& [key, mapped] : payload) {
            hint += SizeHint(key) + SizeHint(mapped);
          }
          sink.Reserve(hint);
          sink.Byte(kMap);
          WriteSizeTo(payload.size(), sink);
          const bool plain =
              typeid(serializer) == typeid(StandardCodecSerializer);
          for (const auto& [key, mapped] : payload) {
            WriteNested(serializer, key, stream, sink, plain);
            WriteNested(serializer, mapped, stream, sink, plain);
          }
        } else {
          static_assert(std::is_same_v<T, EncodableCustomValue>);
          sink.Byte(kNull);
          internal::LogLine(
              "Unhandled custom type in StandardCodecSerializer::WriteValue. ",
              "Custom types require codec extensions.");
        }
      },
      static_cast<const EncodableValue::Variant&>(value));
}

template <typename T>
T ReadScalar(ByteStreamReader* stream) {
  T scalar{};  // a failed read leaves zero
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&scalar), sizeof(T));
  return scalar;
}

// Strings and vectors: the claimed count is checked against the bytes left
// before anything is allocated for it.
template <typename Container>
Container ReadContiguous(uint32_t count, ByteStreamReader* stream) {
  using Element = typename Container::value_type;
  const uint64_t bytes = uint64_t{count} * sizeof(Element);
  if (bytes > stream->BytesRemaining()) {
    internal::LogDecodeFailure(kInvalidRead);
    return Container();
  }
  // In place only from the buffer reader itself: a reader derived from it
  // may override ReadBytes, and must see it called.
  if constexpr (sizeof(Element) == 1) {
    const uint8_t* bytes_in_place =
        typeid(*stream) == typeid(ByteBufferStreamReader)
            ? stream->ReadInPlace(bytes)
            : nullptr;
    if (bytes_in_place != nullptr) {
      const auto* first = reinterpret_cast<const Element*>(bytes_in_place);
      return Container(first, first + count);  // one pass, no zero fill
    }
  }
  Container elements(count, Element{});
  // Also when empty: after an alignment past the end, this read is the one
  // that reports it.
  stream->ReadBytes(reinterpret_cast<uint8_t*>(elements.data()), bytes);
  return elements;
}

template <typename Element>
std::vector<Element> ReadTypedVector(const StandardCodecSerializer& serializer,
                                     uint8_t alignment,
                                     ByteStreamReader* stream) {
  const uint32_t count = serializer.ReadSize(stream);
  stream->ReadAlignment(alignment);
  return ReadContiguous<std::vector<Element>>(count, stream);
}

}  // namespace

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(
    ByteStreamReader* stream) const {
  const internal::DecodeLogScope log_scope;
  const uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  if (typeid(*stream) == typeid(ByteBufferStreamWriter)) {
    WriteValueTo(*this, value, stream,
                 BufferSink{static_cast<ByteBufferStreamWriter*>(stream)});
  } else {
    WriteValueTo(*this, value, stream, VirtualSink{stream});
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(
    uint8_t type, ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadScalar<int32_t>(stream));
    case kInt64:
      return EncodableValue(ReadScalar<int64_t>(stream));
    case kFloat64:
      stream->ReadAlignment(8);
      return EncodableValue(ReadScalar<double>(stream));
    case kLargeInt:
    case kString:
      return EncodableValue(
          ReadContiguous<std::string>(ReadSize(stream), stream));
    case kUInt8List:
      return EncodableValue(
          ReadContiguous<std::vector<uint8_t>>(ReadSize(stream), stream));
    case kInt32List:
      return EncodableValue(ReadTypedVector<int32_t>(*this, 4, stream));
    case kInt64List:
      return EncodableValue(ReadTypedVector<int64_t>(*this, 8, stream));
    case kFloat64List:
      return EncodableValue(ReadTypedVector<double>(*this, 8, stream));
    case kFloat32List:
      return EncodableValue(ReadTypedVector<float>(*this, 4, stream));
    case kList: {
      const NestingScope scope;
      if (NestingScope::TooDeep()) {
        return EncodableValue();
      }
      const uint32_t count = ReadSize(stream);
      EncodableValueList list;
      if (count > stream->BytesRemaining()) {
        internal::LogDecodeFailure(kInvalidRead);
        return EncodableValue(std::move(list));
      }
      const uint64_t left = stream->BytesRemaining();
      const uint64_t backed =
          left - std::min(left, decode_state.reserved_slots);
      const auto reserved =
          static_cast<uint32_t>(std::min<uint64_t>(count, backed));
      list.reserve(reserved);
      decode_state.reserved_slots += reserved;
      uint32_t i = 0;
      for (; i < count && !NestingScope::Abandoned(); ++i) {
        if (stream->BytesRemaining() == 0) {
          internal::LogDecodeFailure(kInvalidRead);
          break;
        }
        if (i < reserved) {
          --decode_state.reserved_slots;  // this slot is being filled
        }
        list.push_back(ReadValue(stream));
      }
      decode_state.reserved_slots -= reserved - std::min(i, reserved);
      return EncodableValue(std::move(list));
    }
    case kMap: {
      const NestingScope scope;
      if (NestingScope::TooDeep()) {
        return EncodableValue();
      }
      const uint32_t count = ReadSize(stream);
      EncodableValueMap map;
      if (count > stream->BytesRemaining() / 2) {
        internal::LogDecodeFailure(kInvalidRead);
        return EncodableValue(std::move(map));
      }
      for (uint32_t i = 0; i < count && !NestingScope::Abandoned(); ++i) {
        if (stream->BytesRemaining() == 0) {
          internal::LogDecodeFailure(kInvalidRead);
          break;
        }
        EncodableValue key = ReadValue(stream);
        EncodableValue mapped = ReadValue(stream);
        // Keys usually arrive in ascending order, so the end is the right
        // hint; a duplicate key leaves the first entry in place.
        map.emplace_hint(map.end(), std::move(key), std::move(mapped));
      }
      return EncodableValue(std::move(map));
    }
    default:
      internal::LogDecodeFailure(
          "Unknown type in StandardCodecSerializer::ReadValueOfType: ",
          std::to_string(type));
      return EncodableValue();
  }
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
void StandardCodecSerializer::WriteSize(uint64_t size,
                                        ByteStreamWriter* stream) const {
  WriteSizeTo(size, VirtualSink{stream});
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
uint32_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  const uint8_t first = stream->ReadByte();
  if (first < 254) {
    return first;
  }
  if (first == 254) {
    return ReadScalar<uint16_t>(stream);
  }
  return ReadScalar<uint32_t>(stream);
}

}  // namespace flutter
