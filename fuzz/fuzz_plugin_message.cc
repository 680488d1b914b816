// Untrusted bytes as a message on "quorvane", delivered through the
// engine's message callback into the registered plugin library. Every
// input is answered exactly once, synchronously; every messenger reference
// is given back; the engine stand-in sees no misuse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine_control.h"
#include "quorvane_plugin/quorvane_plugin.h"

namespace {

FlutterDesktopMessengerRef Messenger() {
  static FlutterDesktopMessengerRef messenger = [] {
    quorvane_engine::SetCallLogging(false);
    FlutterDesktopPluginRegistrarRef registrar =
        quorvane_engine::CreateRegistrar();
    QuorvanePluginRegisterWithRegistrar(registrar);
    return quorvane_engine::MessengerOf(registrar);
  }();
  return messenger;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FlutterDesktopMessengerRef messenger = Messenger();
  const auto response = quorvane_engine::Exchange(
      messenger, "quorvane", std::vector<uint8_t>(data, data + size));
  if (!response || quorvane_engine::OutstandingReferences(messenger) != 0 ||
      !quorvane_engine::Failures().empty()) {
    std::abort();
  }
  return 0;
}
