#ifndef QUORVANE_ENGINE_ENGINE_CONTROL_H_
#define QUORVANE_ENGINE_ENGINE_CONTROL_H_

// The control side of the engine stand-in: tests and the host tool play the
// engine and the application through it. The stand-in implements the
// engine's sixteen C functions faithfully, logs every call in order, and is
// strict: misuse (a second response to one message, a response to a handle
// it never gave out, a release below zero, any call with an unknown or
// destroyed handle, an unlock without a lock) is recorded as a failure and
// written to standard error; Failures() lets a test fail on it.
//
// Thread-safe: every function may be called from any thread. Callbacks into
// the plugin run on the calling thread, with no stand-in lock held.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "messaging/flutter_windows.h"

// The control API is the stand-in's own surface, exported beside the
// engine's C functions (which carry their own macro).
#if defined(_WIN32)
#if defined(FLUTTER_ENGINE_IMPLEMENTATION)
#define QUORVANE_ENGINE_CONTROL_EXPORT __declspec(dllexport)
#else
#define QUORVANE_ENGINE_CONTROL_EXPORT __declspec(dllimport)
#endif
#else
#define QUORVANE_ENGINE_CONTROL_EXPORT __attribute__((visibility("default")))
#endif

namespace quorvane_engine {

// A registrar with its own messenger and texture registrar, and a view
// unless `with_view` is false.
QUORVANE_ENGINE_CONTROL_EXPORT FlutterDesktopPluginRegistrarRef
CreateRegistrar(bool with_view = true);
// Runs the destruction handler that the plugin installed, then retires the
// registrar's handles: later calls with them are misuse. The messenger stays
// alive, unavailable, while the plugin still holds references to it.
QUORVANE_ENGINE_CONTROL_EXPORT void DestroyRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

QUORVANE_ENGINE_CONTROL_EXPORT FlutterDesktopMessengerRef
MessengerOf(FlutterDesktopPluginRegistrarRef registrar);
QUORVANE_ENGINE_CONTROL_EXPORT FlutterDesktopTextureRegistrarRef
TexturesOf(FlutterDesktopPluginRegistrarRef registrar);
QUORVANE_ENGINE_CONTROL_EXPORT FlutterDesktopViewRef
ViewOf(FlutterDesktopPluginRegistrarRef registrar);

// The callback and context registered for a channel, if any.
struct ChannelCallback {
  FlutterDesktopMessageCallback callback = nullptr;
  void* user_data = nullptr;
};
QUORVANE_ENGINE_CONTROL_EXPORT std::optional<ChannelCallback> CallbackFor(
    FlutterDesktopMessengerRef messenger, const std::string& channel);

// Delivers a message as the engine does; returns the message's id. Without
// a callback on the channel the engine itself answers empty.
QUORVANE_ENGINE_CONTROL_EXPORT uint64_t
Deliver(FlutterDesktopMessengerRef messenger, const std::string& channel,
        const std::vector<uint8_t>& message);
// The response to a delivered message; none while unanswered.
QUORVANE_ENGINE_CONTROL_EXPORT std::optional<std::vector<uint8_t>> ResponseTo(
    uint64_t message_id);
// Deliver, then the response (which must have come synchronously). An
// answered exchange is then forgotten, so that long runs stay small; a
// later response to it counts as one to a handle never given out.
QUORVANE_ENGINE_CONTROL_EXPORT std::optional<std::vector<uint8_t>> Exchange(
    FlutterDesktopMessengerRef messenger, const std::string& channel,
    const std::vector<uint8_t>& message);

QUORVANE_ENGINE_CONTROL_EXPORT void SetAvailable(
    FlutterDesktopMessengerRef messenger, bool available);
// References taken with AddRef and not yet released.
QUORVANE_ENGINE_CONTROL_EXPORT int OutstandingReferences(
    FlutterDesktopMessengerRef messenger);

// The application side of messages that the plugin sends. `reply` may be
// called once, at once or later; a reply that is dropped uncalled answers
// the plugin with an empty reply, as the engine does.
using Reply = std::function<void(const std::vector<uint8_t>&)>;
using ApplicationHandler =
    std::function<void(const std::string& channel,
                       const std::vector<uint8_t>& message, Reply reply)>;
QUORVANE_ENGINE_CONTROL_EXPORT void SetApplicationHandler(
    FlutterDesktopMessengerRef messenger, ApplicationHandler handler);
// While set, Send and SendWithReply return false and deliver nothing.
QUORVANE_ENGINE_CONTROL_EXPORT void SetSendsFail(
    FlutterDesktopMessengerRef messenger, bool fail);

struct RegisteredTexture {
  int64_t id;
  std::array<uint8_t, 40> description;  // as received
};
QUORVANE_ENGINE_CONTROL_EXPORT std::vector<RegisteredTexture> Textures(
    FlutterDesktopTextureRegistrarRef textures);
// Runs the completion callbacks of unregistrations, as the engine does once
// a texture is gone. Returns how many ran.
QUORVANE_ENGINE_CONTROL_EXPORT int CompleteUnregistrations(
    FlutterDesktopTextureRegistrarRef textures);

// Every engine call, in order, with its arguments ("Name(arg, ...)").
// Handles read as registrar#N, messenger#N, textures#N, view#N, response#N.
QUORVANE_ENGINE_CONTROL_EXPORT std::vector<std::string> CallLog();
QUORVANE_ENGINE_CONTROL_EXPORT void ClearCallLog();
// Logging is on by default; benchmarks and fuzzers turn it off.
QUORVANE_ENGINE_CONTROL_EXPORT void SetCallLogging(bool enabled);

QUORVANE_ENGINE_CONTROL_EXPORT std::vector<std::string> Failures();
QUORVANE_ENGINE_CONTROL_EXPORT void ClearFailures();

}  // namespace quorvane_engine

#endif  // QUORVANE_ENGINE_ENGINE_CONTROL_H_
