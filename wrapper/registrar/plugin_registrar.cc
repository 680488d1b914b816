#include "registrar/plugin_registrar.h"

#include <exception>
#include <string>

#include "messaging/binary_messenger_impl.h"
#include "values/log_line.h"

namespace flutter {

PluginRegistrar::PluginRegistrar(FlutterDesktopPluginRegistrarRef registrar)
    : registrar_(registrar) {
  messenger_ = std::make_unique<BinaryMessengerImpl>(
      FlutterDesktopPluginRegistrarGetMessenger(registrar_));
  texture_registrar_ = std::make_unique<TextureRegistrarImpl>(
      FlutterDesktopRegistrarGetTextureRegistrar(registrar_));
}

PluginRegistrar::~PluginRegistrar() {
  DestroyPlugins();
  messenger_.reset();
  texture_registrar_.reset();
}

void PluginRegistrar::AdoptPlugin(std::unique_ptr<Plugin> plugin) {
  plugins_.insert(std::move(plugin));
}

void PluginRegistrar::DestroyPlugins() { plugins_.clear(); }

PluginRegistrarWindows::PluginRegistrarWindows(
    FlutterDesktopPluginRegistrarRef registrar)
    : PluginRegistrar(registrar) {
  if (FlutterDesktopViewRef view =
          FlutterDesktopPluginRegistrarGetView(registrar)) {
    view_ = std::make_unique<FlutterView>(view);
  }
}

PluginRegistrarWindows::~PluginRegistrarWindows() {
  DestroyPlugins();
  view_.reset();
  callbacks_.clear();
}

RegistrarManager* RegistrarManager::GetInstance() {
  static auto* const instance = new RegistrarManager();
  return instance;
}

PluginRegistrarWindows* RegistrarManager::RegistrarFor(
    FlutterDesktopPluginRegistrarRef registrar) {
  // Built before the table is consulted; a duplicate is discarded (it makes
  // no engine call on destruction).
  auto fresh = std::make_unique<PluginRegistrarWindows>(registrar);
  auto& stored = registrars_[registrar];
  if (!stored) {
    stored = std::move(fresh);
  }
  FlutterDesktopPluginRegistrarSetDestructionHandler(
      registrar, HandleRegistrarDestruction);
  return stored.get();
}

void HandleRegistrarDestruction(FlutterDesktopPluginRegistrarRef registrar) {
  try {
    RegistrarManager::GetInstance()->registrars_.erase(registrar);
  } catch (const std::exception& error) {
    internal::LogLine("Unhandled exception in HandleRegistrarDestruction: ",
                      error.what());
  } catch (...) {
    internal::LogLine("Unhandled exception in HandleRegistrarDestruction");
  }
}

}  // namespace flutter
