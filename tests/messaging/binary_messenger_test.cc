#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bytes.h"
#include "engine_fixture.h"
#include "messaging/binary_messenger_impl.h"

namespace flutter {
namespace {

using quorvane_testing::StderrLines;
using Bytes = std::vector<uint8_t>;

const char kDuplicate[] =
    "Error: Response can be set only once. Ignoring duplicate response.";

class BinaryMessengerTest : public quorvane_testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    messenger_impl_ = std::make_unique<BinaryMessengerImpl>(messenger_);
  }
  std::unique_ptr<BinaryMessengerImpl> messenger_impl_;
};

TEST_F(BinaryMessengerTest, HandlerAddressIsTheEngineContext) {
  messenger_impl_->SetMessageHandler(
      "a", [](const uint8_t*, uint64_t, const BinaryReply&) {});
  const auto first = quorvane_engine::CallbackFor(messenger_, "a");
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->callback, &OnEngineMessage);
  ASSERT_NE(first->user_data, nullptr);

  int calls = 0;
  messenger_impl_->SetMessageHandler(
      "a", [&calls](const uint8_t*, uint64_t, const BinaryReply&) { ++calls; });
  EXPECT_EQ(quorvane_engine::CallbackFor(messenger_, "a")->user_data,
            first->user_data);  // the entry is reused
  quorvane_engine::Exchange(messenger_, "a", {1});
  EXPECT_EQ(calls, 1);

  messenger_impl_->SetMessageHandler("a", nullptr);
  messenger_impl_->SetMessageHandler("never-set", nullptr);
  EXPECT_FALSE(quorvane_engine::CallbackFor(messenger_, "a").has_value());
  EXPECT_EQ(
      CallLog(),
      (std::vector<std::string>{
          "FlutterDesktopMessengerSetCallback(messenger#N, \"a\", set, set)",
          "FlutterDesktopMessengerSetCallback(messenger#N, \"a\", set, set)",
          "message#N on \"a\" (1 bytes) -> callback",
          "FlutterDesktopMessengerAddRef(messenger#N)",
          "FlutterDesktopMessengerRelease(messenger#N)",
          "FlutterDesktopMessengerSetCallback(messenger#N, \"a\", null, null)",
          // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one line
          "FlutterDesktopMessengerSetCallback(messenger#N, \"never-set\", "
          "null, null)"}));
}

TEST_F(BinaryMessengerTest, ReplyAnswersOnceUnderTheLock) {
  messenger_impl_->SetMessageHandler(
      "c", [](const uint8_t* message, uint64_t size, const BinaryReply& reply) {
        const BinaryReply copy = reply;
        reply(message, size);
        copy(nullptr, 0);  // copies share the one answer
      });
  quorvane_engine::ClearCallLog();
  std::optional<Bytes> response;
  EXPECT_EQ(StderrLines([&] {
              response = quorvane_engine::Exchange(messenger_, "c", {7, 8});
            }),
            std::vector<std::string>{kDuplicate});
  EXPECT_EQ(response, (Bytes{7, 8}));
  EXPECT_EQ(
      CallLog(),
      (std::vector<std::string>{
          "message#N on \"c\" (2 bytes) -> callback",
          "FlutterDesktopMessengerAddRef(messenger#N)",
          "FlutterDesktopMessengerLock(messenger#N)",
          "FlutterDesktopMessengerIsAvailable(messenger#N)",
          // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one line
          "FlutterDesktopMessengerSendResponse(messenger#N, response#N, 2 "
          "bytes)",
          "FlutterDesktopMessengerUnlock(messenger#N)",
          "FlutterDesktopMessengerLock(messenger#N)",
          "FlutterDesktopMessengerIsAvailable(messenger#N)",
          "FlutterDesktopMessengerUnlock(messenger#N)",
          "FlutterDesktopMessengerRelease(messenger#N)"}));
}

TEST_F(BinaryMessengerTest, DroppedReplyReleasesWhenTheCallbackReturns) {
  uint64_t seen_size = 99;
  messenger_impl_->SetMessageHandler(
      "d", [&](const uint8_t*, uint64_t size, const BinaryReply&) {
        seen_size = size;
      });
  const uint64_t id = quorvane_engine::Deliver(messenger_, "d", {});
  EXPECT_EQ(seen_size, 0u);
  EXPECT_FALSE(quorvane_engine::ResponseTo(id).has_value());
  EXPECT_EQ(quorvane_engine::OutstandingReferences(messenger_), 0);
}

TEST_F(BinaryMessengerTest, StoredReplyIsAnsweredLaterFromAnotherThread) {
  std::vector<BinaryReply> stored;
  messenger_impl_->SetMessageHandler(
      "s", [&](const uint8_t*, uint64_t, BinaryReply reply) {
        stored.push_back(std::move(reply));
      });
  std::vector<uint64_t> ids;
  for (uint8_t i = 0; i < 8; ++i) {
    ids.push_back(quorvane_engine::Deliver(messenger_, "s", {i}));
  }
  EXPECT_EQ(quorvane_engine::OutstandingReferences(messenger_), 8);
  std::vector<std::thread> threads;
  for (uint8_t i = 0; i < 8; ++i) {
    threads.emplace_back([&stored, i] {
      const Bytes answer{i};
      stored[i](answer.data(), answer.size());
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  for (uint8_t i = 0; i < 8; ++i) {
    EXPECT_EQ(quorvane_engine::ResponseTo(ids[i]), (Bytes{i}));
  }
  EXPECT_EQ(quorvane_engine::OutstandingReferences(messenger_), 8);
  stored.clear();
  EXPECT_EQ(quorvane_engine::OutstandingReferences(messenger_), 0);
}

TEST_F(BinaryMessengerTest, UnavailableMessengerDropsTheReplySilently) {
  messenger_impl_->SetMessageHandler(
      "u", [](const uint8_t*, uint64_t, const BinaryReply& reply) {
        reply(nullptr, 0);
      });
  quorvane_engine::SetAvailable(messenger_, false);
  uint64_t id = 0;
  EXPECT_TRUE(StderrLines([&] {
                id = quorvane_engine::Deliver(messenger_, "u", {1});
              }).empty());
  EXPECT_FALSE(quorvane_engine::ResponseTo(id).has_value());
}

TEST_F(BinaryMessengerTest, SendUsesTheRightEngineCall) {
  std::vector<std::string> received;
  quorvane_engine::SetApplicationHandler(
      messenger_, [&](const std::string& channel, const Bytes& message,
                      const quorvane_engine::Reply& reply) {
        received.push_back(channel);
        reply(Bytes(message.rbegin(), message.rend()));
      });
  const Bytes message{1, 2, 3};
  messenger_impl_->Send("app", message.data(), message.size());

  int replies = 0;
  Bytes answer;
  messenger_impl_->Send("app", message.data(), message.size(),
                        [&](const uint8_t* data, uint64_t size) {
                          ++replies;
                          answer.assign(data, data + size);
                        });
  EXPECT_EQ(received, (std::vector<std::string>{"app", "app"}));
  EXPECT_EQ(replies, 1);
  EXPECT_EQ(answer, (Bytes{3, 2, 1}));
  EXPECT_EQ(CallLog(),
            (std::vector<std::string>{
                "FlutterDesktopMessengerSend(messenger#N, \"app\", 3 bytes)",
                "FlutterDesktopMessengerSendWithReply(messenger#N, \"app\", 3 "
                "bytes, reply)"}));
}

TEST_F(BinaryMessengerTest, RefusedSendDestroysTheReplyUncalled) {
  quorvane_engine::SetSendsFail(messenger_, true);
  auto token = std::make_shared<int>(0);
  int replies = 0;
  messenger_impl_->Send(
      "app", nullptr, 0,
      [token, &replies](const uint8_t*, uint64_t) { ++replies; });
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_EQ(replies, 0);
}

// No exception reaches the engine: it is logged and the message answered.
TEST_F(BinaryMessengerTest, ThrowingHandlerIsAnsweredEmpty) {
  struct Case {
    const char* name;
    bool answer_first;
  };
  for (const Case& c : {Case{"throws before answering", false},
                        Case{"answers, then throws", true}}) {
    SCOPED_TRACE(c.name);
    messenger_impl_->SetMessageHandler(
        "t", [&c](const uint8_t*, uint64_t, const BinaryReply& reply) {
          if (c.answer_first) {
            const Bytes answer{5};
            reply(answer.data(), answer.size());
          }
          throw std::runtime_error("boom");
        });
    std::optional<Bytes> response;
    const auto lines = StderrLines(
        [&] { response = quorvane_engine::Exchange(messenger_, "t", {1}); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("boom"), std::string::npos);
    EXPECT_EQ(response, c.answer_first ? Bytes{5} : Bytes{});
  }
}

TEST_F(BinaryMessengerTest, ThrowingReplyCallbackStaysInside) {
  quorvane_engine::SetApplicationHandler(
      messenger_, [](const std::string&, const Bytes&,
                     const quorvane_engine::Reply& reply) { reply({1}); });
  const auto lines = StderrLines([&] {
    messenger_impl_->Send("app", nullptr, 0, [](const uint8_t*, uint64_t) {
      throw std::runtime_error("reply failed");
    });
  });
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("reply failed"), std::string::npos);
}

}  // namespace
}  // namespace flutter
