#include "codec/standard_codec_serializer.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

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

// Room reserved up front for a list's claimed count is capped: claims are
// checked against the bytes left, but nested lists each make their claim
// before any element is read, and reserving all of them at once would let a
// 1 MiB message ask for gigabytes. Beyond the cap a list grows as it reads.
constexpr uint32_t kMaxListReserve = 4096;

// Per-thread decoding state: the nesting depth, and whether a value nested
// too deep has ended the current message. The serializer itself is shared
// and stateless, and nested reads pass through virtual calls that may
// belong to a derived serializer, so the depth cannot travel as a parameter.
struct DecodeState {
  int depth = 0;
  bool abandoned = false;
};
thread_local DecodeState decode_state;

class NestingScope {
 public:
  NestingScope() { ++decode_state.depth; }
  ~NestingScope() {
    if (--decode_state.depth == 0) {
      decode_state.abandoned = false;  // the next message starts afresh
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
      internal::LogLine(
          "Value nested too deeply in StandardCodecSerializer::ReadValueOfType"
          "; the rest of the message is ignored.");
      decode_state.abandoned = true;
    }
    return true;
  }
  static bool Abandoned() { return decode_state.abandoned; }
};

// The size that the value's header carries, or 0 for types without one.
uint64_t HeaderSize(const EncodableValue& value) {
  return std::visit(
      [](const auto& payload) -> uint64_t {
        using T = std::decay_t<decltype(payload)>;
        if constexpr (std::is_same_v<T, std::string> ||
                      std::is_same_v<T, std::vector<uint8_t>> ||
                      std::is_same_v<T, std::vector<int32_t>> ||
                      std::is_same_v<T, std::vector<int64_t>> ||
                      std::is_same_v<T, std::vector<double>> ||
                      std::is_same_v<T, std::vector<float>> ||
                      std::is_same_v<T, EncodableValueList> ||
                      std::is_same_v<T, EncodableValueMap>) {
          return payload.size();
        } else {
          return 0;
        }
      },
      static_cast<const EncodableValue::Variant&>(value));
}

template <typename T>
void WriteScalar(T scalar, ByteStreamWriter* stream) {
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(&scalar), sizeof(T));
}

template <typename T>
T ReadScalar(ByteStreamReader* stream) {
  T scalar{};  // a failed read leaves zero
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&scalar), sizeof(T));
  return scalar;
}

template <typename Element>
void WriteTypedVector(const std::vector<Element>& elements, uint8_t alignment,
                      const StandardCodecSerializer& serializer,
                      ByteStreamWriter* stream) {
  serializer.WriteSize(elements.size(), stream);
  // Padded even when empty: the reader always aligns after the count, and
  // a vector written without the padding would misframe what follows it.
  stream->WriteAlignment(alignment);
  if (!elements.empty()) {
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(elements.data()),
                       elements.size() * sizeof(Element));
  }
}

// Strings and vectors: the claimed count is checked against the bytes left
// before anything is allocated for it.
template <typename Container>
Container ReadContiguous(uint32_t count, ByteStreamReader* stream) {
  using Element = typename Container::value_type;
  const uint64_t bytes = uint64_t{count} * sizeof(Element);
  if (bytes > stream->BytesRemaining()) {
    internal::LogLine(kInvalidRead);
    return Container();
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
  const uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  if (HeaderSize(value) > std::numeric_limits<uint32_t>::max()) {
    internal::LogLine(
        "Value too large for StandardCodecSerializer::WriteValue; its size "
        "does not fit 32 bits. Written as null.");
    stream->WriteByte(kNull);
    return;
  }
  std::visit(
      [this, stream](const auto& payload) {
        using T = std::decay_t<decltype(payload)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          stream->WriteByte(kNull);
        } else if constexpr (std::is_same_v<T, bool>) {
          stream->WriteByte(payload ? kTrue : kFalse);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          stream->WriteByte(kInt32);
          WriteScalar(payload, stream);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          stream->WriteByte(kInt64);
          WriteScalar(payload, stream);
        } else if constexpr (std::is_same_v<T, double>) {
          stream->WriteByte(kFloat64);
          stream->WriteAlignment(8);
          WriteScalar(payload, stream);
        } else if constexpr (std::is_same_v<T, std::string>) {
          stream->WriteByte(kString);
          WriteSize(payload.size(), stream);
          stream->WriteBytes(reinterpret_cast<const uint8_t*>(payload.data()),
                             payload.size());
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          stream->WriteByte(kUInt8List);
          WriteSize(payload.size(), stream);
          stream->WriteBytes(payload.data(), payload.size());
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          stream->WriteByte(kInt32List);
          WriteTypedVector(payload, 4, *this, stream);
        } else if constexpr (std::is_same_v<T, std::vector<int64_t>>) {
          stream->WriteByte(kInt64List);
          WriteTypedVector(payload, 8, *this, stream);
        } else if constexpr (std::is_same_v<T, std::vector<double>>) {
          stream->WriteByte(kFloat64List);
          WriteTypedVector(payload, 8, *this, stream);
        } else if constexpr (std::is_same_v<T, std::vector<float>>) {
          stream->WriteByte(kFloat32List);
          WriteTypedVector(payload, 4, *this, stream);
        } else if constexpr (std::is_same_v<T, EncodableValueList>) {
          stream->WriteByte(kList);
          WriteSize(payload.size(), stream);
          for (const EncodableValue& element : payload) {
            WriteValue(element, stream);
          }
        } else if constexpr (std::is_same_v<T, EncodableValueMap>) {
          stream->WriteByte(kMap);
          WriteSize(payload.size(), stream);
          for (const auto& [key, mapped] : payload) {
            WriteValue(key, stream);
            WriteValue(mapped, stream);
          }
        } else {
          static_assert(std::is_same_v<T, EncodableCustomValue>);
          stream->WriteByte(kNull);
          internal::LogLine(
              "Unhandled custom type in StandardCodecSerializer::WriteValue. ",
              "Custom types require codec extensions.");
        }
      },
      static_cast<const EncodableValue::Variant&>(value));
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
      return EncodableValue(ReadContiguous<std::string>(ReadSize(stream), stream));
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
        internal::LogLine(kInvalidRead);
        return EncodableValue(std::move(list));
      }
      list.reserve(std::min(count, kMaxListReserve));
      for (uint32_t i = 0; i < count && !NestingScope::Abandoned(); ++i) {
        if (stream->BytesRemaining() == 0) {
          internal::LogLine(kInvalidRead);
          break;
        }
        list.push_back(ReadValue(stream));
      }
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
        internal::LogLine(kInvalidRead);
        return EncodableValue(std::move(map));
      }
      for (uint32_t i = 0; i < count && !NestingScope::Abandoned(); ++i) {
        if (stream->BytesRemaining() == 0) {
          internal::LogLine(kInvalidRead);
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
      internal::LogLine(
          "Unknown type in StandardCodecSerializer::ReadValueOfType: ",
          std::to_string(type));
      return EncodableValue();
  }
}

void StandardCodecSerializer::WriteSize(uint64_t size,
                                        ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    stream->WriteByte(254);
    WriteScalar(static_cast<uint16_t>(size), stream);
  } else {
    stream->WriteByte(255);
    WriteScalar(static_cast<uint32_t>(size), stream);
  }
}

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
