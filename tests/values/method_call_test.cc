#include "values/method_call.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "bytes.h"
#include "values/encodable_value.h"
#include "values/log_line.h"
#include "values/method_result.h"

namespace flutter {
namespace {

// Replies may be answered on any thread, and each logs its failures: a line
// written in pieces would interleave with another thread's.
TEST(LogLineTest, LinesFromTwoThreadsArriveWhole) {
  constexpr int kLinesPerThread = 20000;
  const std::string first = "Error: Response can be set only once. ";
  const auto lines = quorvane_testing::StderrLines([&] {
    auto log = [&](const std::string& tag) {
      for (int i = 0; i < kLinesPerThread; ++i) {
        internal::LogLine(first, tag);
      }
    };
    std::thread a(log, "Ignoring duplicate response (a).");
    std::thread b(log, "Ignoring duplicate response (b).");
    a.join();
    b.join();
  });
  ASSERT_EQ(lines.size(), size_t{2} * kLinesPerThread);
  for (const auto& line : lines) {
    ASSERT_TRUE(line == first + "Ignoring duplicate response (a)." ||
                line == first + "Ignoring duplicate response (b).")
        << line;
  }
}

TEST(MethodCallTest, KeepsNameAndOwnsArguments) {
  MethodCall<EncodableValue> call(
      "m", std::make_unique<EncodableValue>(EncodableValue()));
  EXPECT_EQ(call.MethodName(), "m");
  ASSERT_NE(call.Arguments(), nullptr);
  EXPECT_TRUE(call.Arguments()->IsNull());

  const MethodCall<EncodableValue> without("n", nullptr);
  EXPECT_EQ(without.Arguments(), nullptr);
}

TEST(MethodResultTest, OwningBasePointerRunsConcreteDestructor) {
  struct Result : MethodResult<EncodableValue> {
    explicit Result(bool* destroyed) : destroyed(destroyed) {}
    ~Result() override { *destroyed = true; }
    void Success(const EncodableValue* /*result*/) override {}
    void Error(const std::string& /*code*/, const std::string& /*message*/,
               const EncodableValue* /*details*/) override {}
    void NotImplemented() override {}
    bool* destroyed;
  };
  bool destroyed = false;
  std::unique_ptr<MethodResult<EncodableValue>> result =
      std::make_unique<Result>(&destroyed);
  result.reset();
  EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace flutter
