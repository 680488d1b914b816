#include "messaging/method_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "bytes.h"
#include "codec/standard_method_codec.h"
#include "engine_fixture.h"
#include "messaging/binary_messenger_impl.h"

namespace flutter {
namespace {

using quorvane_testing::Hex;
using quorvane_testing::StderrLines;
using Bytes = std::vector<uint8_t>;
using ResultPtr = std::unique_ptr<MethodResult<EncodableValue>>;

const char kWarning[] =
    "Warning: Failed to respond to a message. This is a memory leak.";
const char kDuplicateResult[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and "
    "it can be called exactly once. Ignoring duplicate result.";

const StandardMethodCodec& Codec() {
  return StandardMethodCodec::GetInstance();
}

Bytes CallBytes(const std::string& method) {
  return *Codec().EncodeMethodCall(MethodCall<EncodableValue>(method, nullptr));
}

class MethodChannelTest : public quorvane_testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    messenger_impl_ = std::make_unique<BinaryMessengerImpl>(messenger_);
  }
  void Install(const MethodCallHandler& handler) {
    MethodChannel(messenger_impl_.get(), "chan", &Codec())
        .SetMethodCallHandler(handler);  // the channel object dies here
  }
  std::optional<Bytes> Call(const Bytes& message) {
    return quorvane_engine::Exchange(messenger_, "chan", message);
  }
  std::unique_ptr<BinaryMessengerImpl> messenger_impl_;
};

TEST_F(MethodChannelTest, AnswersTravelBackAsEnvelopes) {
  Install([](const MethodCall<EncodableValue>& call, ResultPtr result) {
    const EncodableValue value(call.MethodName() + "!");
    if (call.MethodName() == "ok") {
      result->Success(&value);
    } else if (call.MethodName() == "none") {
      result->Success(nullptr);
    } else if (call.MethodName() == "fail") {
      result->Error("E", "bad", &value);
    } else {
      result->NotImplemented();
    }
  });
  const EncodableValue ok("ok!");
  const EncodableValue fail("fail!");
  struct Case {
    const char* method;
    Bytes response;
  };
  const Case cases[] = {
      {"ok", *Codec().EncodeSuccessEnvelope(&ok)},
      {"none", Hex("00 00")},
      {"fail", *Codec().EncodeErrorEnvelope("E", "bad", &fail)},
      {"other", Bytes{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    EXPECT_EQ(Call(CallBytes(c.method)), c.response);
  }
}

TEST_F(MethodChannelTest, UndecodableMessageIsAnsweredEmpty) {
  int calls = 0;
  Install([&calls](const MethodCall<EncodableValue>&, ResultPtr) { ++calls; });
  std::optional<Bytes> response;
  EXPECT_EQ(
      StderrLines([&] { response = Call(Hex("03 01 00 00 00")); }),
      (std::vector<std::string>{
          "Invalid method call; method name is not a string.",
          "Unable to construct method call from message on channel chan"}));
  EXPECT_EQ(response, Bytes{});
  EXPECT_EQ(calls, 0);
}

TEST_F(MethodChannelTest, OnlyTheFirstAnswerCounts) {
  Install([](const MethodCall<EncodableValue>&, ResultPtr result) {
    const EncodableValue one(int32_t{1});
    result->Success(&one);
    result->Success(nullptr);
    result->NotImplemented();
  });
  std::optional<Bytes> response;
  EXPECT_EQ(StderrLines([&] { response = Call(CallBytes("m")); }),
            (std::vector<std::string>{kDuplicateResult, kDuplicateResult}));
  EXPECT_EQ(response, Hex("00 03 01 00 00 00"));
}

TEST_F(MethodChannelTest, DroppedResultWarnsAndLeavesTheMessageUnanswered) {
  Install([](const MethodCall<EncodableValue>&, ResultPtr) {});
  uint64_t id = 0;
  EXPECT_EQ(StderrLines([&] {
              id = quorvane_engine::Deliver(messenger_, "chan", CallBytes("m"));
            }),
            std::vector<std::string>{kWarning});
  EXPECT_FALSE(quorvane_engine::ResponseTo(id).has_value());
}

TEST_F(MethodChannelTest, StoredResultIsAnsweredFromAnotherThread) {
  std::vector<ResultPtr> stored;
  Install([&stored](const MethodCall<EncodableValue>&, ResultPtr result) {
    stored.push_back(std::move(result));
  });
  const uint64_t first =
      quorvane_engine::Deliver(messenger_, "chan", CallBytes("a"));
  const uint64_t second =
      quorvane_engine::Deliver(messenger_, "chan", CallBytes("b"));
  std::thread answer_first([&] { stored[0]->NotImplemented(); });
  std::thread answer_second([&] {
    const EncodableValue value(true);
    stored[1]->Success(&value);
  });
  answer_first.join();
  answer_second.join();
  stored.clear();
  EXPECT_EQ(quorvane_engine::ResponseTo(first), Bytes{});
  EXPECT_EQ(quorvane_engine::ResponseTo(second), Hex("00 01"));
}

TEST_F(MethodChannelTest, EmptyHandlerClearsAndReinstallReplaces) {
  Install([](const MethodCall<EncodableValue>&, ResultPtr result) {
    result->Success(nullptr);
  });
  Install(nullptr);
  EXPECT_FALSE(quorvane_engine::CallbackFor(messenger_, "chan").has_value());
  Install([](const MethodCall<EncodableValue>&, ResultPtr result) {
    const EncodableValue value(false);
    result->Success(&value);
  });
  EXPECT_EQ(Call(CallBytes("m")), Hex("00 02"));
}

TEST_F(MethodChannelTest, ThrowingHandlerIsAnsweredEmpty) {
  Install([](const MethodCall<EncodableValue>&, ResultPtr) {
    throw std::runtime_error("handler failed");
  });
  std::optional<Bytes> response;
  const auto lines = StderrLines([&] { response = Call(CallBytes("m")); });
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], kWarning);  // the result died unanswered on the way out
  EXPECT_NE(lines[1].find("handler failed"), std::string::npos);
  EXPECT_EQ(response, Bytes{});
}

}  // namespace
}  // namespace flutter
