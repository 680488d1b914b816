#include "plugin_host.h"

#include "codec/standard_method_codec.h"
#include "library_loader.h"

namespace quorvane_host {
namespace {

// Records the decoded envelope into an Outcome.
class OutcomeResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  explicit OutcomeResult(Outcome* outcome) : outcome_(outcome) {}
  void Success(const flutter::EncodableValue* result) override {
    outcome_->kind = Outcome::Kind::kSuccess;
    outcome_->value = result == nullptr ? flutter::EncodableValue() : *result;
  }
  void Error(const std::string& code, const std::string& message,
             const flutter::EncodableValue* /*details*/) override {
    outcome_->kind = Outcome::Kind::kError;
    outcome_->code = code;
    outcome_->message = message;
  }
  void NotImplemented() override {
    outcome_->kind = Outcome::Kind::kNotImplemented;
  }

 private:
  Outcome* outcome_;
};

}  // namespace

RegisterFunction LoadPlugin(const std::string& path, std::string* error) {
  return reinterpret_cast<RegisterFunction>(
      LoadLibrarySymbol(path, "QuorvanePluginRegisterWithRegistrar", error));
}

PluginHost::PluginHost(RegisterFunction register_plugin)
    : registrar_(quorvane_engine::CreateRegistrar()) {
  register_plugin(registrar_);
}

PluginHost::~PluginHost() { quorvane_engine::DestroyRegistrar(registrar_); }

std::optional<std::vector<uint8_t>> PluginHost::Send(
    const std::string& channel, const std::vector<uint8_t>& message) {
  return quorvane_engine::Exchange(quorvane_engine::MessengerOf(registrar_),
                                   channel, message);
}

Outcome PluginHost::Call(const std::string& channel, const std::string& method,
                         const flutter::EncodableValue& arguments) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const auto message =
      codec.EncodeMethodCall(flutter::MethodCall<flutter::EncodableValue>(
          method, std::make_unique<flutter::EncodableValue>(arguments)));
  Outcome outcome;
  const auto reply = Send(channel, *message);
  if (!reply) {
    return outcome;
  }
  outcome.bytes = *reply;
  if (reply->empty()) {
    outcome.kind = Outcome::Kind::kNotImplemented;
    return outcome;
  }
  OutcomeResult result(&outcome);
  if (!codec.DecodeResponseEnvelope(reply->data(), reply->size(), &result)) {
    outcome.kind = Outcome::Kind::kUnrecognised;
  }
  return outcome;
}

}  // namespace quorvane_host
