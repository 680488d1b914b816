#include "values/method_call.h"

#include <gtest/gtest.h>

#include "values/encodable_value.h"
#include "values/method_result.h"

namespace flutter {
namespace {

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
