#ifndef QUORVANE_TOOLS_PLUGIN_HOST_H_
#define QUORVANE_TOOLS_PLUGIN_HOST_H_

// Plays the engine and the application for the plugin library: loads it by
// path, registers it on a stand-in registrar, and exchanges method calls
// and raw messages with it. One host per registrar; one thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine_control.h"
#include "values/encodable_value.h"

namespace quorvane_host {

using RegisterFunction = void (*)(FlutterDesktopPluginRegistrarRef);

// The library's registration function, or null with `error` set. The
// library stays loaded for the rest of the process.
RegisterFunction LoadPlugin(const std::string& path, std::string* error);

// How a method call was answered.
struct Outcome {
  enum class Kind {
    kNoResponse,      // the plugin kept the message unanswered
    kNotImplemented,  // an empty reply
    kSuccess,
    kError,
    kUnrecognised,  // a reply that is no envelope
  };
  Kind kind = Kind::kNoResponse;
  flutter::EncodableValue value;  // kSuccess
  std::string code;               // kError
  std::string message;            // kError
  std::vector<uint8_t> bytes;     // the reply as it came
};

class PluginHost {
 public:
  // Creates a stand-in registrar and registers the plugin on it.
  explicit PluginHost(RegisterFunction register_plugin);
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Encodes the call with the standard method codec, delivers it on
  // `channel` and decodes the reply.
  Outcome Call(const std::string& channel, const std::string& method,
               const flutter::EncodableValue& arguments);
  // Delivers exactly these bytes; the reply bytes, or none.
  std::optional<std::vector<uint8_t>> Send(const std::string& channel,
                                           const std::vector<uint8_t>& message);

  FlutterDesktopPluginRegistrarRef registrar() const { return registrar_; }

 private:
  FlutterDesktopPluginRegistrarRef registrar_;
};

}  // namespace quorvane_host

#endif  // QUORVANE_TOOLS_PLUGIN_HOST_H_
