#include "quorvane_plugin/quorvane_plugin.h"

#include <exception>
#include <memory>
#include <utility>

#include "certificate_handler.h"
#include "codec/standard_method_codec.h"
#include "messaging/method_channel.h"
#include "registrar/plugin_registrar.h"
#include "values/log_line.h"

namespace {

// Lives in its registrar's plugin set; the registrar destroys it with
// itself. The service keeps no state, so the plugin holds none.
class QuorvanePlugin : public flutter::Plugin {
 public:
  static void RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar);

  QuorvanePlugin() = default;
  ~QuorvanePlugin() override = default;
};

void QuorvanePlugin::RegisterWithRegistrar(
    flutter::PluginRegistrarWindows* registrar) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  // The channel is only needed to install the handler, which keeps its own
  // copies of what it needs.
  const auto channel = std::make_unique<flutter::MethodChannel>(
      registrar->GetMessenger(), "quorvane", &codec);
  auto plugin = std::make_unique<QuorvanePlugin>();
  channel->SetMethodCallHandler(
      [plugin_pointer = plugin.get()](
          const flutter::MethodCall<flutter::EncodableValue>& call,
          std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>>
              result) {
        static_cast<void>(plugin_pointer);  // the service needs no plugin state
        quorvane::DispatchMethodCall(call, std::move(result));
      });
  registrar->AdoptPlugin(std::move(plugin));
}

}  // namespace

void QuorvanePluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  try {
    QuorvanePlugin::RegisterWithRegistrar(
        flutter::RegistrarManager::GetInstance()->RegistrarFor(registrar));
  } catch (const std::exception& error) {
    flutter::internal::LogLine(
        "Unhandled exception in QuorvanePluginRegisterWithRegistrar: ",
        error.what());
  } catch (...) {
    flutter::internal::LogLine(
        "Unhandled exception in QuorvanePluginRegisterWithRegistrar");
  }
}
