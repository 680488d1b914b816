#ifndef QUORVANE_WRAPPER_MESSAGING_FLUTTER_WINDOWS_H_
#define QUORVANE_WRAPPER_MESSAGING_FLUTTER_WINDOWS_H_

// The engine's C interface, as this library uses it: opaque handles, the
// message record as the message callback reads it, the callback shapes, and
// the sixteen functions. The engine (flutter_windows.dll) implements them.
// Callbacks that the engine calls must not let a C++ exception escape.

// A C header: C's typedefs and headers stay.
// NOLINTBEGIN(modernize-use-using, modernize-deprecated-headers)
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(FLUTTER_ENGINE_IMPLEMENTATION)
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif
#else
#define FLUTTER_EXPORT __attribute__((visibility("default")))
#endif

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;
typedef struct FlutterDesktopTextureRegistrar*
    FlutterDesktopTextureRegistrarRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessageResponseHandle
    FlutterDesktopMessageResponseHandle;

// One incoming message. The first 16 bytes are the engine's and are not
// read here; the message bytes are valid for the duration of the callback.
typedef struct {
  size_t struct_size;      // offset 0, the engine's
  const char* channel;     // offset 8, the engine's
  const uint8_t* message;  // offset 16
  size_t message_size;     // offset 24
  const FlutterDesktopMessageResponseHandle* response_handle;  // offset 32
} FlutterDesktopMessage;

typedef void (*FlutterDesktopMessageCallback)(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
    void* user_data);
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size,
                                          void* user_data);
typedef void (*FlutterDesktopOnPluginRegistrarDestroyed)(
    FlutterDesktopPluginRegistrarRef registrar);
typedef void (*FlutterDesktopOnTextureUnregistered)(void* user_data);

// The 40-byte texture description; its layout is written out byte by byte
// by the texture registrar, so it stays opaque here, as do the engine's
// pixel-buffer and GPU-surface records that texture callbacks return.
typedef struct FlutterDesktopTextureInfo FlutterDesktopTextureInfo;
typedef struct FlutterDesktopPixelBuffer FlutterDesktopPixelBuffer;
typedef struct FlutterDesktopGpuSurfaceDescriptor
    FlutterDesktopGpuSurfaceDescriptor;
typedef const FlutterDesktopPixelBuffer* (
    *FlutterDesktopPixelBufferTextureCallback)(size_t width, size_t height,
                                               void* user_data);
typedef const FlutterDesktopGpuSurfaceDescriptor* (
    *FlutterDesktopGpuSurfaceTextureCallback)(size_t width, size_t height,
                                              void* user_data);

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopPluginRegistrarGetMessenger(
    FlutterDesktopPluginRegistrarRef registrar);
FLUTTER_EXPORT FlutterDesktopTextureRegistrarRef
FlutterDesktopRegistrarGetTextureRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
// Null when the registrar has no view.
FLUTTER_EXPORT FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetView(
    FlutterDesktopPluginRegistrarRef registrar);
FLUTTER_EXPORT void FlutterDesktopPluginRegistrarSetDestructionHandler(
    FlutterDesktopPluginRegistrarRef registrar,
    FlutterDesktopOnPluginRegistrarDestroyed callback);

// A null callback (with a null user_data) removes the channel's callback.
FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(
    FlutterDesktopMessengerRef messenger, const char* channel,
    FlutterDesktopMessageCallback callback, void* user_data);
FLUTTER_EXPORT bool FlutterDesktopMessengerSend(
    FlutterDesktopMessengerRef messenger, const char* channel,
    const uint8_t* message, size_t message_size);
// True: `reply` runs exactly once, later. False: it never runs.
FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel,
    const uint8_t* message, size_t message_size,
    FlutterDesktopBinaryReply reply, void* user_data);
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerRelease(
    FlutterDesktopMessengerRef messenger);
// A non-null result must be passed to FlutterDesktopMessengerUnlock.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(
    FlutterDesktopMessengerRef messenger);
// Answers one message, once. `data` may be null when `data_length` is 0.
FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger,
    const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
    size_t data_length);
FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(
    FlutterDesktopMessengerRef messenger);

FLUTTER_EXPORT int64_t FlutterDesktopTextureRegistrarRegisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar,
    const FlutterDesktopTextureInfo* info);
FLUTTER_EXPORT void FlutterDesktopTextureRegistrarUnregisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id,
    FlutterDesktopOnTextureUnregistered callback, void* user_data);
FLUTTER_EXPORT bool
FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id);

#if defined(__cplusplus)
}  // extern "C"
#endif

// NOLINTEND(modernize-use-using, modernize-deprecated-headers)

#endif  // QUORVANE_WRAPPER_MESSAGING_FLUTTER_WINDOWS_H_
