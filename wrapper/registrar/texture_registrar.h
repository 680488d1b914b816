#ifndef QUORVANE_WRAPPER_REGISTRAR_TEXTURE_REGISTRAR_H_
#define QUORVANE_WRAPPER_REGISTRAR_TEXTURE_REGISTRAR_H_

#include <cstdint>
#include <functional>
#include <variant>

#include "messaging/flutter_windows.h"

namespace flutter {

// A texture whose frames are CPU pixel buffers, produced on demand.
struct PixelBufferSource {
  std::function<const FlutterDesktopPixelBuffer*(size_t width, size_t height)>
      callback;
};

// A texture whose frames are GPU surfaces of one surface type.
struct GpuSurfaceSource {
  int32_t surface_type = 0;
  std::function<const FlutterDesktopGpuSurfaceDescriptor*(size_t width,
                                                          size_t height)>
      callback;
};

// What a plugin registers. The registrar keeps nothing: the engine calls
// back with the address of the source's alternative, so the caller keeps
// the source alive, at the same address, until the texture is unregistered.
using TextureSource = std::variant<PixelBufferSource, GpuSurfaceSource>;

// A plugin's access to the engine's external textures.
class TextureRegistrar {
 public:
  TextureRegistrar() = default;
  virtual ~TextureRegistrar() = default;
  TextureRegistrar(const TextureRegistrar&) = delete;
  TextureRegistrar& operator=(const TextureRegistrar&) = delete;

  // The engine's texture id, or -1 (logged) for a missing or empty source.
  virtual int64_t RegisterExternalTexture(TextureSource* texture) = 0;
  // The engine's answer, passed through.
  virtual bool MarkExternalTextureFrameAvailable(int64_t texture_id) = 0;
  // Always true.
  virtual bool UnregisterExternalTexture(int64_t texture_id) = 0;
  // `callback`, when not empty, runs once when the engine has let go.
  virtual void UnregisterExternalTexture(int64_t texture_id,
                                         std::function<void()> callback) = 0;
};

// The texture registrar over the engine's handle (not owned). It keeps no
// state and takes no locks; the callbacks below run on whatever thread the
// engine calls them from and touch only the source or completion that
// their user data designates. No exception reaches the engine: a throwing
// callback is logged, and a frame callback then yields no frame.
class TextureRegistrarImpl : public TextureRegistrar {
 public:
  explicit TextureRegistrarImpl(
      FlutterDesktopTextureRegistrarRef texture_registrar)
      : texture_registrar_(texture_registrar) {}
  ~TextureRegistrarImpl() override = default;

  int64_t RegisterExternalTexture(TextureSource* texture) override;
  bool MarkExternalTextureFrameAvailable(int64_t texture_id) override;
  bool UnregisterExternalTexture(int64_t texture_id) override;
  void UnregisterExternalTexture(int64_t texture_id,
                                 std::function<void()> callback) override;

 private:
  FlutterDesktopTextureRegistrarRef texture_registrar_;
};

// The engine's callbacks, named so that tests can find them in a record.
// An empty source callable yields null: no frame.
const FlutterDesktopPixelBuffer* PixelBufferThunk(size_t width, size_t height,
                                                  void* user_data);
const FlutterDesktopGpuSurfaceDescriptor* GpuSurfaceThunk(size_t width,
                                                          size_t height,
                                                          void* user_data);
void UnregisterDoneThunk(void* user_data);

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_REGISTRAR_TEXTURE_REGISTRAR_H_
