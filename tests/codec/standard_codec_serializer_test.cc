#include "codec/standard_codec_serializer.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "bytes.h"
#include "codec/byte_buffer_streams.h"

namespace flutter {
namespace {

using quorvane_testing::Hex;
using quorvane_testing::StderrLines;
using quorvane_testing::ToHex;

constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";

std::vector<uint8_t> Encode(const EncodableValue& value,
                            const StandardCodecSerializer& serializer =
                                StandardCodecSerializer::GetInstance()) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  serializer.WriteValue(value, &writer);
  return bytes;
}

EncodableValue Decode(const std::vector<uint8_t>& bytes,
                      const StandardCodecSerializer& serializer =
                          StandardCodecSerializer::GetInstance()) {
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return serializer.ReadValue(&reader);
}

// A writer that overrides WriteByte, so the serializer must go through the
// abstract interface rather than its direct path to the buffer writer.
struct DerivedWriter : ByteBufferStreamWriter {
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
  void WriteByte(uint8_t byte) override {
    ByteBufferStreamWriter::WriteByte(byte);
  }
};

std::vector<uint8_t> EncodeThroughInterface(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  DerivedWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

// Streams derived from the buffer streams, recording what they are asked.
struct RecordingWriter : ByteBufferStreamWriter {
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
  void WriteByte(uint8_t byte) override {
    calls.push_back("byte " + std::to_string(byte));
    ByteBufferStreamWriter::WriteByte(byte);
  }
  void WriteBytes(const uint8_t* bytes, uint64_t length) override {
    calls.push_back("bytes " + std::to_string(length));
    ByteBufferStreamWriter::WriteBytes(bytes, length);
  }
  void WriteAlignment(uint8_t alignment) override {
    calls.push_back("align " + std::to_string(alignment));
    ByteBufferStreamWriter::WriteAlignment(alignment);
  }
  std::vector<std::string> calls;
};

struct RecordingReader : ByteBufferStreamReader {
  using ByteBufferStreamReader::ByteBufferStreamReader;
  void ReadBytes(uint8_t* destination, uint64_t length) override {
    calls.push_back("bytes " + std::to_string(length));
    ByteBufferStreamReader::ReadBytes(destination, length);
  }
  std::vector<std::string> calls;
};

// A derived stream sees the operations the format describes, no more and
// no fewer: strings are read through its ReadBytes (the empty one too, as
// every sized read is), and nothing is written for an empty string or an
// alignment of 1.
TEST(StandardCodecSerializerTest, DerivedStreamsSeeTheDescribedCalls) {
  const EncodableValue value =
      EncodableValueList{int32_t{7}, std::string(), std::string("ab")};
  std::vector<uint8_t> bytes;
  RecordingWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  EXPECT_EQ(writer.calls,
            (std::vector<std::string>{"byte 12", "byte 3", "byte 3", "bytes 4",
                                      "byte 7", "byte 0", "byte 7", "byte 2",
                                      "bytes 2"}));

  RecordingReader reader(bytes.data(), bytes.size());
  EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadValue(&reader), value);
  EXPECT_EQ(reader.calls,
            (std::vector<std::string>{"bytes 4", "bytes 0", "bytes 2"}));
}

// Value, its bytes, and back, without a log line.
TEST(StandardCodecSerializerTest, WritesAndReadsTheByteFormat) {
  struct Case {
    const char* name;
    EncodableValue value;
    const char* hex;
  };
  const Case cases[] = {
      {"control: null", EncodableValue(), "00"},
      {"true", true, "01"},
      {"false", false, "02"},
      {"int32 5", int32_t{5}, "03 05 00 00 00"},
      {"int32 -2", int32_t{-2}, "03 FE FF FF FF"},
      {"int64 -1", int64_t{-1}, "04 FF FF FF FF FF FF FF FF"},
      {"double 1.0", 1.0, "06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {"string hi", std::string("hi"), "07 02 68 69"},
      {"empty string", std::string(), "07 00"},
      {"bytes", std::vector<uint8_t>{1, 2}, "08 02 01 02"},
      {"int32 vector", std::vector<int32_t>{1, 2},
       "09 02 00 00 01 00 00 00 02 00 00 00"},
      {"int64 vector", std::vector<int64_t>{1},
       "0A 01 00 00 00 00 00 00 01 00 00 00 00 00 00 00"},
      {"double vector", std::vector<double>{1.0},
       "0B 01 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {"float vector", std::vector<float>{1.0f}, "0E 01 00 00 00 00 80 3F"},
      {"empty int32 vector, padded as the reader expects",
       std::vector<int32_t>{}, "09 00 00 00"},
      {"empty double vector", std::vector<double>{}, "0B 00 00 00 00 00 00 00"},
      {"list [null, false]", EncodableValueList{nullptr, false}, "0C 02 00 02"},
      {"list [0.5]", EncodableValueList{0.5},
       "0C 01 06 00 00 00 00 00 00 00 00 00 00 00 E0 3F"},
      {"list [true, empty int32 vector, 7]",
       EncodableValueList{true, std::vector<int32_t>{}, int32_t{7}},
       "0C 03 01 09 00 00 00 00 03 07 00 00 00"},
      {"map {'a': true}", EncodableValueMap{{"a", true}}, "0D 01 07 01 61 01"},
      {"map in key order",
       EncodableValueMap{{"b", nullptr}, {int32_t{1}, nullptr}},
       "0D 02 03 01 00 00 00 00 07 01 62 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToHex(Encode(c.value)), c.hex);
    EXPECT_EQ(ToHex(EncodeThroughInterface(c.value)), c.hex);
    EXPECT_TRUE(
        StderrLines([&] { EXPECT_EQ(Decode(Hex(c.hex)), c.value); }).empty());
  }
}

TEST(StandardCodecSerializerTest, SizeForms) {
  struct Case {
    size_t size;
    const char* header;
  };
  const Case cases[] = {{253, "07 FD"},
                        {254, "07 FE FE 00"},
                        {300, "07 FE 2C 01"},
                        {65535, "07 FE FF FF"},
                        {65536, "07 FF 00 00 01 00"},
                        {70000, "07 FF 70 11 01 00"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const EncodableValue value(std::string(c.size, 'x'));
    const auto bytes = Encode(value);
    const auto header = Hex(c.header);
    ASSERT_EQ(bytes.size(), header.size() + c.size);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
    EXPECT_EQ(Decode(bytes), value);
  }
}

// Bytes that the writer never produces, or malformed ones: value and log.
TEST(StandardCodecSerializerTest, ReadsUnusualAndMalformedBytes) {
  struct Case {
    const char* name;
    const char* hex;
    EncodableValue value;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"control: 'AB'", "07 02 41 42", std::string("AB"), {}},
      {"type 5 reads as a string", "05 02 41 42", std::string("AB"), {}},
      {"longer size form than needed", "07 FE 01 00 41", std::string("A"), {}},
      {"duplicate key keeps the first",
       "0D 02 07 01 61 03 01 00 00 00 07 01 61 03 02 00 00 00",
       EncodableValueMap{{"a", int32_t{1}}},
       {}},
      {"unknown type byte inside a list",
       "0C 02 0F 01",
       EncodableValueList{nullptr, true},
       {"Unknown type in StandardCodecSerializer::ReadValueOfType: 15"}},
      {"unknown type 255",
       "FF",
       EncodableValue(),
       {"Unknown type in StandardCodecSerializer::ReadValueOfType: 255"}},
      {"empty vector without padding: the reader still aligns",
       "09 00",
       std::vector<int32_t>{},
       {kInvalidRead}},
      {"list with an unpadded empty vector loses what follows",
       "0C 03 01 09 00 03 07 00 00 00",
       EncodableValueList{true, std::vector<int32_t>{}, nullptr},
       {}},
      {"missing int32 bytes read as zero",
       "03 01 02",
       int32_t{0},
       {kInvalidRead}},
      {"missing double", "06", 0.0, {kInvalidRead}},
      {"missing size bytes", "07 FE 01", std::string(), {kInvalidRead}},
      {"string shorter than claimed",
       "07 05 41 42",
       std::string(),
       {kInvalidRead}},
      {"list elements run out",
       "0C 02 07 01 41",
       EncodableValueList{std::string("A")},
       {kInvalidRead}},
      {"map value missing",
       "0D 01 07 01 61",
       EncodableValueMap{{"a", nullptr}},
       {kInvalidRead}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EncodableValue value;
    EXPECT_EQ(StderrLines([&] { value = Decode(Hex(c.hex)); }), c.lines);
    EXPECT_EQ(value, c.value);
  }
}

TEST(StandardCodecSerializerTest, RejectsCountLargerThanMessage) {
  struct Case {
    const char* name;
    const char* hex;
    EncodableValue value;
  };
  const Case cases[] = {
      {"string of 4 GiB", "07 FF FF FF FF FF 41", std::string()},
      {"byte vector of 4 GiB", "08 FF FF FF FF FF 41", std::vector<uint8_t>()},
      {"int64 vector of 2^32-1", "0A FF FF FF FF FF 00 00 00 00 00 00 00",
       std::vector<int64_t>()},
      {"float vector of 2^32-1", "0E FF FF FF FF FF 00 00 00",
       std::vector<float>()},
      {"list of 2^32-1 elements", "0C FF FF FF FF FF 00 00",
       EncodableValueList()},
      {"map of 2^32-1 entries", "0D FF FF FF FF FF 00 00", EncodableValueMap()},
      {"map of 2 entries in 3 bytes", "0D 02 00 00 00", EncodableValueMap()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EncodableValue value;
    EXPECT_EQ(StderrLines([&] { value = Decode(Hex(c.hex)); }),
              std::vector<std::string>{kInvalidRead});
    EXPECT_EQ(value, c.value);
  }
}

// Room reserved for lists, summed over a decoded tree.
size_t ReservedSlots(const EncodableValue& value) {
  const auto* list = value.TryGet<EncodableValueList>();
  if (list == nullptr) {
    return 0;
  }
  size_t slots = list->capacity();
  for (const auto& element : *list) {
    slots += ReservedSlots(element);
  }
  return slots;
}

// A true count is reserved exactly (no doubling, no copies while growing);
// counts that lie, nested, reserve no more than the message can back.
TEST(StandardCodecSerializerTest, ListsReserveWhatTheMessageCanBack) {
  const uint32_t kTrue = 10000;
  std::vector<uint8_t> honest = {12, 254, 0, 0};
  std::memcpy(honest.data() + 2, &kTrue, 2);
  honest.resize(honest.size() + kTrue, 0);
  const EncodableValue decoded = Decode(honest);
  EXPECT_EQ(decoded.Get<EncodableValueList>().size(), kTrue);
  EXPECT_EQ(decoded.Get<EncodableValueList>().capacity(), kTrue);

  // 100 nested lists, each claiming every byte left as its own elements.
  std::vector<uint8_t> nested;
  constexpr int kDepth = 100;
  constexpr uint16_t kPadding = 2000;
  for (int level = 0; level < kDepth; ++level) {
    const auto left =
        static_cast<uint16_t>((kDepth - level - 1) * 4 + kPadding);
    nested.insert(nested.end(), {12, 254, 0, 0});
    std::memcpy(nested.data() + nested.size() - 2, &left, 2);
  }
  nested.resize(nested.size() + kPadding, 0);
  EncodableValue lied;
  StderrLines([&] { lied = Decode(nested); });
  int depth = 0;
  for (const EncodableValue* at = &lied;
       at->TryGet<EncodableValueList>() != nullptr &&
       !at->Get<EncodableValueList>().empty();
       at = &at->Get<EncodableValueList>().front()) {
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);  // every claim was read, not refused
  // Elements read take a byte each, and reserved slots not yet reached
  // never outnumber the bytes left: two slots per byte at most. (Capped at
  // 4096 per list instead, this reserved 100 times 2,000 slots.)
  EXPECT_LE(ReservedSlots(lied), 2 * nested.size());
}

// Every prefix of a few messages decodes without crashing, with only the
// decoder's own lines, and into a value that encodes again. A failed read
// consumes nothing, so the bytes of a cut string may be read as type bytes.
TEST(StandardCodecSerializerTest, TruncationAtEveryOffset) {
  const EncodableValue messages[] = {
      EncodableValueMap{{"list", EncodableValueList{int32_t{1}, 2.5, "three"}},
                        {"vector", std::vector<int64_t>{1, 2, 3}},
                        {int64_t{9}, std::vector<float>{1.5f}}},
      EncodableValueList{std::string(300, 'x'), std::vector<double>{1, 2},
                         EncodableValueMap{{nullptr, true}}},
  };
  for (const EncodableValue& message : messages) {
    const auto bytes = Encode(message);
    for (size_t length = 0; length < bytes.size(); ++length) {
      SCOPED_TRACE(length);
      const std::vector<uint8_t> prefix(
          bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
      EncodableValue value;
      const auto lines = StderrLines([&] { value = Decode(prefix); });
      EXPECT_FALSE(lines.empty());
      for (const auto& line : lines) {
        EXPECT_TRUE(
            line == kInvalidRead ||
            line.rfind("Unknown type in StandardCodecSerializer", 0) == 0 ||
            line.rfind("Further decoding failures in this message", 0) == 0)
            << line;
      }
      EXPECT_EQ(Decode(Encode(value)), value);
    }
  }
}

// A million unknown type bytes in one list: a million nulls, as before,
// but two lines on standard error instead of a million.
TEST(StandardCodecSerializerTest, FloodOfMalformedValuesLogsTwoLines) {
  constexpr uint32_t kCount = 1000000;
  std::vector<uint8_t> message = {12, 255};  // list, 32-bit count
  message.resize(6);
  std::memcpy(message.data() + 2, &kCount, sizeof kCount);
  message.resize(message.size() + kCount, 0xFF);
  EncodableValue value;
  const auto lines = StderrLines([&] { value = Decode(message); });
  const auto& list = value.Get<EncodableValueList>();
  ASSERT_EQ(list.size(), kCount);
  EXPECT_TRUE(list.front().IsNull());
  EXPECT_TRUE(list.back().IsNull());
  EXPECT_EQ(
      lines,
      (std::vector<std::string>{
          "Unknown type in StandardCodecSerializer::ReadValueOfType: 255",
          "Further decoding failures in this message not shown: 999999"}));
}

// Runs `run` on a thread with a 1 MiB stack, the smallest we promise.
template <typename Function>
void RunOnSmallStack(Function run) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 1 << 20);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attributes,
                [](void* function) -> void* {
                  (*static_cast<Function*>(function))();
                  return nullptr;
                },
                &run),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

TEST(StandardCodecSerializerTest, RejectsNestingDeeperThanTheLimit) {
  const int depth = StandardCodecSerializer::kMaxNestingDepth;
  // A chain of single-element lists, `levels` deep, ending in true, then a
  // trailing element in the outermost list.
  const auto chain = [](int levels) {
    std::vector<uint8_t> bytes = Hex("0C 02");
    for (int i = 1; i < levels; ++i) {
      bytes.push_back(0x0C);
      bytes.push_back(0x01);
    }
    bytes.push_back(0x01);  // true
    bytes.push_back(0x02);  // the outermost list's second element: false
    return bytes;
  };
  const auto depth_of = [](const EncodableValue& value) {
    int levels = 0;
    const EncodableValue* at = &value;
    while (const auto* list = at->TryGet<EncodableValueList>()) {
      ++levels;
      at = &list->front();
    }
    return levels;
  };
  {
    SCOPED_TRACE("control: at the limit");
    EncodableValue value;
    EXPECT_TRUE(StderrLines([&] { value = Decode(chain(depth)); }).empty());
    EXPECT_EQ(depth_of(value), depth);
    EXPECT_EQ(value.Get<EncodableValueList>().size(), 2u);
  }
  for (int levels : {depth + 1, 100000}) {
    SCOPED_TRACE(levels);
    EncodableValue value;
    const auto lines = StderrLines([&] {
      RunOnSmallStack([&] {
        value = Decode(chain(levels));
        value = Decode(Encode(value));  // and back, on the same stack
      });
    });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("nested too deeply"), std::string::npos);
    EXPECT_EQ(depth_of(value), depth);
    // The containers around the too-deep value end there.
    EXPECT_EQ(value.Get<EncodableValueList>().size(), 1u);
    // The next message on this thread decodes in full again.
    EXPECT_EQ(Decode(chain(depth)).Get<EncodableValueList>().size(), 2u);
  }
}

TEST(StandardCodecSerializerTest, CustomValueIsWrittenAsNullWithALine) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(StderrLines([&] { bytes = Encode(EncodableCustomValue(1)); }),
            std::vector<std::string>{
                "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                "Custom types require codec extensions."});
  EXPECT_EQ(ToHex(bytes), "00");
}

#if defined(__SANITIZE_ADDRESS__)
#define QUORVANE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUORVANE_SANITIZED 1
#endif
#endif

TEST(StandardCodecSerializerTest, ValueBeyondTheSizeFormIsWrittenAsNull) {
#ifdef QUORVANE_SANITIZED
  GTEST_SKIP() << "4 GiB of shadowed memory is too slow under a sanitizer";
#endif
  EncodableValueList list;
  try {
    list.emplace_back(std::vector<uint8_t>(uint64_t{1} << 32));
  } catch (const std::bad_alloc&) {
    GTEST_SKIP() << "no room for a 4 GiB vector";
  }
  list.emplace_back(int32_t{7});
  const EncodableValue huge(std::move(list));
  std::vector<uint8_t> bytes;
  const auto lines = StderrLines([&] { bytes = Encode(huge); });
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("too large"), std::string::npos);
  // The message stays well framed: what follows the value survives.
  EXPECT_EQ(ToHex(bytes), "0C 02 00 03 07 00 00 00");
}

// A derived serializer sees nested values through the virtual slots.
TEST(StandardCodecSerializerTest, ExtensionIsConsultedAtEveryDepth) {
  struct Point {
    int32_t x;
  };
  class PointSerializer : public StandardCodecSerializer {
   public:
    void WriteValue(const EncodableValue& value,
                    ByteStreamWriter* stream) const override {
      if (const auto* custom = value.TryGet<EncodableCustomValue>()) {
        stream->WriteByte(128);
        stream->WriteByte(static_cast<uint8_t>(custom->TryGet<Point>()->x));
        return;
      }
      StandardCodecSerializer::WriteValue(value, stream);
    }
    EncodableValue ReadValueOfType(uint8_t type,
                                   ByteStreamReader* stream) const override {
      if (type == 128) {
        return EncodableCustomValue(Point{stream->ReadByte()});
      }
      return StandardCodecSerializer::ReadValueOfType(type, stream);
    }
  };
  const PointSerializer serializer;
  const EncodableValue value(EncodableValueList{
      EncodableValueMap{{"p", EncodableCustomValue(Point{7})}}});
  const auto bytes = Encode(value, serializer);
  EXPECT_EQ(ToHex(bytes), "0C 01 0D 01 07 01 70 80 07");
  const EncodableValue back = Decode(bytes, serializer);
  const auto& point = back.Get<EncodableValueList>()[0]
                          .Get<EncodableValueMap>()
                          .at("p")
                          .Get<EncodableCustomValue>();
  EXPECT_EQ(point.TryGet<Point>()->x, 7);
}

}  // namespace
}  // namespace flutter
