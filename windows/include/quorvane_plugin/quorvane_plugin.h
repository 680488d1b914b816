#ifndef QUORVANE_PLUGIN_QUORVANE_PLUGIN_H_
#define QUORVANE_PLUGIN_QUORVANE_PLUGIN_H_

// The plugin library's one entry point. The host calls it once per engine
// with the engine's plugin registrar handle; from then on the plugin
// answers "getCertificate" on the method channel "quorvane". It returns
// nothing and never lets an exception out.

#include "messaging/flutter_windows.h"

#if defined(_WIN32)
#if defined(QUORVANE_PLUGIN_IMPLEMENTATION)
#define QUORVANE_PLUGIN_EXPORT __declspec(dllexport)
#else
#define QUORVANE_PLUGIN_EXPORT __declspec(dllimport)
#endif
#else
#define QUORVANE_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#if defined(__cplusplus)
extern "C" {
#endif

QUORVANE_PLUGIN_EXPORT void QuorvanePluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // QUORVANE_PLUGIN_QUORVANE_PLUGIN_H_
