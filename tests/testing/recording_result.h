#ifndef QUORVANE_TESTS_TESTING_RECORDING_RESULT_H_
#define QUORVANE_TESTS_TESTING_RECORDING_RESULT_H_

#include <memory>
#include <optional>
#include <string>

#include "values/encodable_value.h"
#include "values/method_result.h"

namespace quorvane_testing {

// Everything a result was told, kept after the result itself is gone.
struct Answer {
  enum class Kind { kNone, kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kNone;
  int answers = 0;
  bool destroyed = false;
  std::optional<flutter::EncodableValue> value;    // Success
  std::string code;                                // Error
  std::string message;                             // Error
  std::optional<flutter::EncodableValue> details;  // Error

  const flutter::EncodableValueMap& Map() const {
    return value->Get<flutter::EncodableValueMap>();
  }
  const std::string& Text(const char* key) const {
    return Map().at(flutter::EncodableValue(key)).Get<std::string>();
  }
};

class RecordingResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  explicit RecordingResult(Answer* answer) : answer_(answer) {}
  ~RecordingResult() override { answer_->destroyed = true; }

  static std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> Make(
      Answer* answer) {
    return std::make_unique<RecordingResult>(answer);
  }

  void Success(const flutter::EncodableValue* result) override {
    Record(Answer::Kind::kSuccess);
    if (result != nullptr) {
      answer_->value = *result;
    }
  }
  void Error(const std::string& code, const std::string& message,
             const flutter::EncodableValue* details) override {
    Record(Answer::Kind::kError);
    answer_->code = code;
    answer_->message = message;
    if (details != nullptr) {
      answer_->details = *details;
    }
  }
  void NotImplemented() override { Record(Answer::Kind::kNotImplemented); }

 private:
  void Record(Answer::Kind kind) {
    ++answer_->answers;
    answer_->kind = kind;
  }
  Answer* answer_;
};

}  // namespace quorvane_testing

#endif  // QUORVANE_TESTS_TESTING_RECORDING_RESULT_H_
