#include "codec/standard_method_codec.h"

#include <gtest/gtest.h>

#include "bytes.h"
#include "recording_result.h"

namespace flutter {
namespace {

using quorvane_testing::Answer;
using quorvane_testing::Hex;
using quorvane_testing::RecordingResult;
using quorvane_testing::StderrLines;
using quorvane_testing::ToHex;

constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";
constexpr char kNotAString[] =
    "Invalid method call; method name is not a string.";

const StandardMethodCodec& Codec() {
  return StandardMethodCodec::GetInstance();
}

TEST(StandardMethodCodecTest, EncodesCallsAndEnvelopes) {
  const EncodableValue map_argument(EncodableValueMap{{"a", true}});
  const EncodableValue true_value(true);
  const EncodableValue one(int32_t{1});
  const EncodableValue double_value(1.0);
  struct Case {
    const char* name;
    std::unique_ptr<std::vector<uint8_t>> bytes;
    const char* hex;
  };
  const Case cases[] = {
      {"call without arguments",
       Codec().EncodeMethodCall(MethodCall<EncodableValue>("m", nullptr)),
       "07 01 6D 00"},
      {"call with a map",
       Codec().EncodeMethodCall(MethodCall<EncodableValue>(
           "m", std::make_unique<EncodableValue>(map_argument))),
       "07 01 6D 0D 01 07 01 61 01"},
      {"success without value", Codec().EncodeSuccessEnvelope(), "00 00"},
      {"success true", Codec().EncodeSuccessEnvelope(&true_value), "00 01"},
      {"success double aligns from the envelope byte",
       Codec().EncodeSuccessEnvelope(&double_value),
       "00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {"error with empty message",
       Codec().EncodeErrorEnvelope("E", "", nullptr), "01 07 01 45 00 00"},
      {"error with details", Codec().EncodeErrorEnvelope("E", "bad", &one),
       "01 07 01 45 07 03 62 61 64 03 01 00 00 00"},
      {"error with empty code", Codec().EncodeErrorEnvelope("", "", nullptr),
       "01 07 00 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToHex(*c.bytes), c.hex);
  }
}

TEST(StandardMethodCodecTest, DecodesMethodCalls) {
  struct Case {
    const char* name;
    const char* hex;
    const char* method;  // nullptr: no call
    EncodableValue arguments;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"control", "07 01 6D 03 05 00 00 00", "m", int32_t{5}, {}},
      {"null arguments are present", "07 01 6D 00", "m", nullptr, {}},
      {"trailing bytes ignored", "07 01 6D 00 FF", "m", nullptr, {}},
      {"name with type 5", "05 01 6D 00", "m", nullptr, {}},
      {"stops after the name", "07 01 6D", "m", nullptr, {kInvalidRead}},
      {"name not a string", "03 01 00 00 00", nullptr, nullptr, {kNotAString}},
      {"no bytes", "", nullptr, nullptr, {kInvalidRead, kNotAString}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = Hex(c.hex);
    std::unique_ptr<MethodCall<EncodableValue>> call;
    EXPECT_EQ(StderrLines([&] {
                call = Codec().DecodeMethodCall(bytes.data(), bytes.size());
              }),
              c.lines);
    if (c.method == nullptr) {
      EXPECT_EQ(call, nullptr);
      continue;
    }
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->MethodName(), c.method);
    ASSERT_NE(call->Arguments(), nullptr);
    EXPECT_EQ(*call->Arguments(), c.arguments);
  }
}

TEST(StandardMethodCodecTest, DecodesResponseEnvelopes) {
  struct Case {
    const char* name;
    const char* hex;
    bool recognised;
    Answer::Kind kind;
    std::optional<EncodableValue> value;
    std::string code;
    std::string message;
    std::optional<EncodableValue> details;
    size_t lines;
  };
  const Case cases[] = {
      {"control: success true", "00 01", true, Answer::Kind::kSuccess, true, "",
       "", std::nullopt, 0},
      {"success null", "00 00", true, Answer::Kind::kSuccess, std::nullopt, "",
       "", std::nullopt, 0},
      {"empty response", "", true, Answer::Kind::kSuccess, std::nullopt, "", "",
       std::nullopt, 2},
      {"error, empty message", "01 07 01 45 00 00", true, Answer::Kind::kError,
       std::nullopt, "E", "", std::nullopt, 0},
      {"error with details", "01 07 01 45 07 03 62 61 64 03 01 00 00 00", true,
       Answer::Kind::kError, std::nullopt, "E", "bad",
       EncodableValue(int32_t{1}), 0},
      {"unknown envelope", "02", false, Answer::Kind::kNone, std::nullopt, "",
       "", std::nullopt, 0},
      {"error code not a string", "01 03 01 00 00 00 00 00", false,
       Answer::Kind::kNone, std::nullopt, "", "", std::nullopt, 0},
      {"error code null", "01 00 00 00", false, Answer::Kind::kNone,
       std::nullopt, "", "", std::nullopt, 0},
      {"error message a list", "01 07 01 45 0C 00 00", false,
       Answer::Kind::kNone, std::nullopt, "", "", std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = Hex(c.hex);
    Answer answer;
    RecordingResult result(&answer);
    bool recognised = false;
    EXPECT_EQ(StderrLines([&] {
                recognised = Codec().DecodeResponseEnvelope(
                    bytes.data(), bytes.size(), &result);
              }).size(),
              c.lines);
    EXPECT_EQ(recognised, c.recognised);
    EXPECT_EQ(answer.answers, c.recognised ? 1 : 0);
    EXPECT_EQ(answer.kind, c.kind);
    EXPECT_EQ(answer.value, c.value);
    EXPECT_EQ(answer.code, c.code);
    EXPECT_EQ(answer.message, c.message);
    EXPECT_EQ(answer.details, c.details);
  }
}

TEST(StandardMethodCodecTest, OneCodecPerSerializer) {
  EXPECT_EQ(&StandardMethodCodec::GetInstance(),
            &StandardMethodCodec::GetInstance());
  EXPECT_EQ(&StandardMethodCodec::GetInstance(),
            &StandardMethodCodec::GetInstance(
                &StandardCodecSerializer::GetInstance()));
  static const StandardCodecSerializer other;
  EXPECT_NE(&StandardMethodCodec::GetInstance(&other),
            &StandardMethodCodec::GetInstance());
  EXPECT_EQ(&StandardMethodCodec::GetInstance(&other),
            &StandardMethodCodec::GetInstance(&other));
}

}  // namespace
}  // namespace flutter
