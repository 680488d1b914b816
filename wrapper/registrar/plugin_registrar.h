#ifndef QUORVANE_WRAPPER_REGISTRAR_PLUGIN_REGISTRAR_H_
#define QUORVANE_WRAPPER_REGISTRAR_PLUGIN_REGISTRAR_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "messaging/binary_messenger.h"
#include "messaging/flutter_windows.h"
#include "registrar/texture_registrar.h"

namespace flutter {

// The base of every plugin; a registrar destroys plugins through it.
class Plugin {
 public:
  Plugin() = default;
  virtual ~Plugin() = default;
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
};

// One engine registrar handle (not owned) with the library's own messenger
// and texture registrar over it, and the plugins handed to it, which it
// owns. Destruction order: plugins first (while everything they might use
// still exists), then the messenger, then the texture registrar; no engine
// call. No locks: used on the engine's thread.
class PluginRegistrar {
 public:
  explicit PluginRegistrar(FlutterDesktopPluginRegistrarRef registrar);
  virtual ~PluginRegistrar();
  PluginRegistrar(const PluginRegistrar&) = delete;
  PluginRegistrar& operator=(const PluginRegistrar&) = delete;

  BinaryMessenger* GetMessenger() const { return messenger_.get(); }
  TextureRegistrar* GetTextureRegistrar() const {
    return texture_registrar_.get();
  }
  // The registrar owns the plugin until the registrar is destroyed.
  void AdoptPlugin(std::unique_ptr<Plugin> plugin);

 protected:
  // Destroys every plugin now.
  void DestroyPlugins();

 private:
  FlutterDesktopPluginRegistrarRef registrar_;
  std::unique_ptr<BinaryMessenger> messenger_;
  std::unique_ptr<TextureRegistrar> texture_registrar_;
  std::set<std::unique_ptr<Plugin>> plugins_;  // by address
};

// The engine's view handle (not owned); destroying it makes no engine call.
class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view) : view_(view) {}
  virtual ~FlutterView() = default;
  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  FlutterDesktopViewRef view() const { return view_; }

 private:
  FlutterDesktopViewRef view_;
};

// The Windows registrar: the base plus the view, when the engine has one.
// Destroys its plugins before its view, its view before its callback
// table, and all of that before the base's messenger and texture registrar.
class PluginRegistrarWindows : public PluginRegistrar {
 public:
  explicit PluginRegistrarWindows(FlutterDesktopPluginRegistrarRef registrar);
  ~PluginRegistrarWindows() override;

  // Null when the engine reported no view.
  FlutterView* GetView() const { return view_.get(); }

 private:
  std::unique_ptr<FlutterView> view_;
  [[maybe_unused]] int32_t next_callback_id_ = 1;  // reserved; nothing reads it
  std::map<int64_t, std::function<void()>> callbacks_;
};

// The process-wide table of registrars, one per engine registrar handle.
// Made on first use (thread-safe) and never destroyed, so registrars still
// in it at unload are not destroyed either. The table has no lock: it is
// used on the engine's thread.
class RegistrarManager {
 public:
  static RegistrarManager* GetInstance();

  // The registrar for the handle, made on the first request; never null.
  // Installs the destruction handler with the engine on every call.
  PluginRegistrarWindows* RegistrarFor(
      FlutterDesktopPluginRegistrarRef registrar);

 private:
  friend void HandleRegistrarDestruction(
      FlutterDesktopPluginRegistrarRef registrar);
  RegistrarManager() = default;

  std::map<FlutterDesktopPluginRegistrarRef,
           std::unique_ptr<PluginRegistrarWindows>>
      registrars_;
};

// The engine's destruction callback: destroys the handle's registrar, if
// any. Nothing escapes to the engine.
void HandleRegistrarDestruction(FlutterDesktopPluginRegistrarRef registrar);

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_REGISTRAR_PLUGIN_REGISTRAR_H_
