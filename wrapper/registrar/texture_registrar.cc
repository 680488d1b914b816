#include "registrar/texture_registrar.h"

#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "values/log_line.h"

namespace flutter {
namespace {

// The engine's texture description record, written byte by byte so that
// its layout does not depend on a compiler's padding:
//   kind 0 (pixel buffer): 0 kind, 8 callback, 16 user data, rest zero
//   kind 1 (GPU surface):  0 kind, 8 size of the part from 8 on (32),
//                          16 surface type, 24 callback, 32 user data
constexpr size_t kRecordSize = 40;
using Record = std::array<uint8_t, kRecordSize>;

template <typename T>
void Put(Record* record, size_t offset, T value) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(record->data() + offset, &value, sizeof value);
}

void LogCallbackException(const char* where) {
  try {
    throw;
  } catch (const std::exception& error) {
    internal::LogLine(std::string("Unhandled exception in ") + where + ": ",
                      error.what());
  } catch (...) {
    internal::LogLine(std::string("Unhandled exception in ") + where);
  }
}

}  // namespace

int64_t TextureRegistrarImpl::RegisterExternalTexture(TextureSource* texture) {
  // The engine reads 8-byte pointers out of it in place.
  alignas(8) Record record{};
  if (auto* pixels = texture == nullptr
                         ? nullptr
                         : std::get_if<PixelBufferSource>(texture)) {
    Put<int32_t>(&record, 0, 0);
    Put<FlutterDesktopPixelBufferTextureCallback>(&record, 8, PixelBufferThunk);
    Put<void*>(&record, 16, pixels);
  } else if (auto* surface = texture == nullptr
                                 ? nullptr
                                 : std::get_if<GpuSurfaceSource>(texture)) {
    Put<int32_t>(&record, 0, 1);
    Put<uint64_t>(&record, 8, kRecordSize - 8);
    Put<int32_t>(&record, 16, surface->surface_type);
    Put<FlutterDesktopGpuSurfaceTextureCallback>(&record, 24, GpuSurfaceThunk);
    Put<void*>(&record, 32, surface);
  } else {
    internal::LogLine("Attempting to register unknown texture variant.");
    return -1;
  }
  return FlutterDesktopTextureRegistrarRegisterExternalTexture(
      texture_registrar_,
      reinterpret_cast<const FlutterDesktopTextureInfo*>(record.data()));
}

bool TextureRegistrarImpl::MarkExternalTextureFrameAvailable(
    int64_t texture_id) {
  return FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
      texture_registrar_, texture_id);
}

bool TextureRegistrarImpl::UnregisterExternalTexture(int64_t texture_id) {
  UnregisterExternalTexture(texture_id, nullptr);
  return true;
}

void TextureRegistrarImpl::UnregisterExternalTexture(
    int64_t texture_id, std::function<void()> callback) {
  if (!callback) {
    FlutterDesktopTextureRegistrarUnregisterExternalTexture(
        texture_registrar_, texture_id, nullptr, nullptr);
    return;
  }
  auto completion =
      std::make_unique<std::function<void()>>(std::move(callback));
  // The engine owns the completion from here; UnregisterDoneThunk frees it.
  FlutterDesktopTextureRegistrarUnregisterExternalTexture(
      texture_registrar_, texture_id, UnregisterDoneThunk,
      completion.release());
}

const FlutterDesktopPixelBuffer* PixelBufferThunk(size_t width, size_t height,
                                                  void* user_data) {
  try {
    const auto& source = *static_cast<const PixelBufferSource*>(user_data);
    return source.callback ? source.callback(width, height) : nullptr;
  } catch (...) {
    LogCallbackException("PixelBufferThunk");
    return nullptr;
  }
}

const FlutterDesktopGpuSurfaceDescriptor* GpuSurfaceThunk(size_t width,
                                                          size_t height,
                                                          void* user_data) {
  try {
    const auto& source = *static_cast<const GpuSurfaceSource*>(user_data);
    return source.callback ? source.callback(width, height) : nullptr;
  } catch (...) {
    LogCallbackException("GpuSurfaceThunk");
    return nullptr;
  }
}

void UnregisterDoneThunk(void* user_data) {
  const std::unique_ptr<std::function<void()>> completion(
      static_cast<std::function<void()>*>(user_data));
  try {
    (*completion)();
  } catch (...) {
    LogCallbackException("UnregisterDoneThunk");
  }
}

}  // namespace flutter
