#include "codec/byte_buffer_streams.h"

#include <gtest/gtest.h>

#include "bytes.h"

namespace flutter {
namespace {

using quorvane_testing::Hex;
using quorvane_testing::StderrLines;

const char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";

TEST(ByteBufferStreamReaderTest, ReadsPastTheEndYieldZeroAndConsumeNothing) {
  const std::vector<uint8_t> none;
  ByteBufferStreamReader empty(none.data(), 0);
  uint8_t byte = 1;
  EXPECT_EQ(StderrLines([&] { byte = empty.ReadByte(); }),
            std::vector<std::string>{kInvalidRead});
  EXPECT_EQ(byte, 0);
  EXPECT_EQ(empty.position(), 0u);

  const auto three = Hex("0A 0B 0C");
  ByteBufferStreamReader reader(three.data(), three.size());
  uint8_t destination[4] = {9, 9, 9, 9};
  EXPECT_EQ(StderrLines([&] { reader.ReadBytes(destination, 4); }).size(), 1u);
  EXPECT_EQ(destination[0], 9);  // untouched: all or nothing
  EXPECT_EQ(reader.ReadByte(), 0x0A);
  EXPECT_EQ(reader.position(), 1u);
  EXPECT_EQ(reader.BytesRemaining(), 2u);
}

TEST(ByteBufferStreamReaderTest, ZeroLengthReadFailsOnlyBeyondTheEnd) {
  const auto ten = std::vector<uint8_t>(10, 1);
  ByteBufferStreamReader reader(ten.data(), ten.size());
  uint8_t sink[10];
  reader.ReadBytes(sink, 10);
  EXPECT_TRUE(StderrLines([&] { reader.ReadBytes(sink, 0); }).empty());

  ByteBufferStreamReader beyond(ten.data(), ten.size());
  beyond.ReadBytes(sink, 9);
  EXPECT_TRUE(StderrLines([&] { beyond.ReadAlignment(8); }).empty());
  EXPECT_EQ(beyond.position(), 16u);
  EXPECT_EQ(beyond.BytesRemaining(), 0u);
  EXPECT_EQ(StderrLines([&] { beyond.ReadBytes(sink, 0); }).size(), 1u);
  EXPECT_EQ(StderrLines([&] { EXPECT_EQ(beyond.ReadByte(), 0); }).size(), 1u);
}

TEST(ByteBufferStreamReaderTest, AlignmentMovesToTheNextMultiple) {
  struct Case {
    uint64_t from;
    uint8_t alignment;
    uint64_t to;
  };
  const Case cases[] = {{0, 8, 0},  {1, 8, 8}, {8, 8, 8},
                        {9, 8, 16}, {2, 4, 4}, {5, 4, 8}};
  const std::vector<uint8_t> block(32);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " align " +
                 std::to_string(c.alignment));
    ByteBufferStreamReader reader(block.data(), block.size());
    std::vector<uint8_t> skip(c.from);
    reader.ReadBytes(skip.data(), c.from);
    reader.ReadAlignment(c.alignment);
    EXPECT_EQ(reader.position(), c.to);
  }
}

TEST(ByteBufferStreamWriterTest, AlignmentCountsFromTheVectorsFirstByte) {
  struct Case {
    size_t existing;
    uint8_t alignment;
    size_t padding;
  };
  const Case cases[] = {{0, 8, 0}, {1, 8, 7}, {8, 8, 0}, {6, 4, 2}, {3, 4, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.existing) + " align " +
                 std::to_string(c.alignment));
    std::vector<uint8_t> buffer(c.existing, 0xEE);
    ByteBufferStreamWriter writer(&buffer);
    writer.WriteAlignment(c.alignment);
    ASSERT_EQ(buffer.size(), c.existing + c.padding);
    for (size_t i = 0; i < c.existing; ++i) {
      EXPECT_EQ(buffer[i], 0xEE);
    }
    for (size_t i = c.existing; i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], 0);
    }
  }
}

TEST(ByteBufferStreamWriterTest, PaddingGoesThroughTheVirtualWriteByte) {
  struct CountingWriter : ByteBufferStreamWriter {
    using ByteBufferStreamWriter::ByteBufferStreamWriter;
    void WriteByte(uint8_t byte) override {
      ++bytes_seen;
      ByteBufferStreamWriter::WriteByte(byte);
    }
    int bytes_seen = 0;
  };
  std::vector<uint8_t> buffer;
  CountingWriter writer(&buffer);
  writer.WriteByte(6);
  writer.WriteAlignment(8);
  writer.WriteBytes(nullptr, 0);
  EXPECT_EQ(writer.bytes_seen, 8);
  EXPECT_EQ(buffer.size(), 8u);
}

}  // namespace
}  // namespace flutter
