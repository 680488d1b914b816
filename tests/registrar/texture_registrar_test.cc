#include "registrar/texture_registrar.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "bytes.h"
#include "engine_fixture.h"

namespace flutter {
namespace {

using quorvane_testing::StderrLines;

template <typename T>
T At(const std::array<uint8_t, 40>& record, size_t offset) {
  T value;
  std::memcpy(&value, record.data() + offset, sizeof value);
  return value;
}

class TextureRegistrarTest : public quorvane_testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    textures_ = quorvane_engine::TexturesOf(registrar_);
    registrar_impl_ = std::make_unique<TextureRegistrarImpl>(textures_);
  }
  FlutterDesktopTextureRegistrarRef textures_ = nullptr;
  std::unique_ptr<TextureRegistrarImpl> registrar_impl_;
};

TEST_F(TextureRegistrarTest, PixelBufferRecordAndThunk) {
  const auto* frame =
      reinterpret_cast<const FlutterDesktopPixelBuffer*>(0x1000);
  size_t seen_width = 0;
  size_t seen_height = 0;
  TextureSource source = PixelBufferSource{[&](size_t width, size_t height) {
    seen_width = width;
    seen_height = height;
    return frame;
  }};
  const int64_t id = registrar_impl_->RegisterExternalTexture(&source);
  const auto textures = quorvane_engine::Textures(textures_);
  ASSERT_EQ(textures.size(), 1u);
  EXPECT_EQ(textures[0].id, id);
  const auto& record = textures[0].description;
  EXPECT_EQ(At<int32_t>(record, 0), 0);
  EXPECT_EQ(At<int32_t>(record, 4), 0);
  const auto thunk = At<FlutterDesktopPixelBufferTextureCallback>(record, 8);
  EXPECT_EQ(thunk, &PixelBufferThunk);
  void* user_data = At<void*>(record, 16);
  EXPECT_EQ(user_data, &std::get<PixelBufferSource>(source));
  EXPECT_EQ(At<uint64_t>(record, 24), 0u);
  EXPECT_EQ(At<uint64_t>(record, 32), 0u);

  EXPECT_EQ(thunk(640, 480, user_data), frame);
  EXPECT_EQ(seen_width, 640u);
  EXPECT_EQ(seen_height, 480u);
  EXPECT_TRUE(registrar_impl_->MarkExternalTextureFrameAvailable(id));
  EXPECT_FALSE(registrar_impl_->MarkExternalTextureFrameAvailable(id + 100));
  EXPECT_TRUE(registrar_impl_->UnregisterExternalTexture(id));
  EXPECT_EQ(
      CallLog().back(),
      "FlutterDesktopTextureRegistrarUnregisterExternalTexture(textures#N, " +
          std::to_string(id) + ", null, null)");
}

TEST_F(TextureRegistrarTest, GpuSurfaceRecordAndThunk) {
  const auto* surface =
      reinterpret_cast<const FlutterDesktopGpuSurfaceDescriptor*>(0x2000);
  TextureSource source =
      GpuSurfaceSource{7, [surface](size_t, size_t) { return surface; }};
  registrar_impl_->RegisterExternalTexture(&source);
  const auto record = quorvane_engine::Textures(textures_).at(0).description;
  EXPECT_EQ(At<int32_t>(record, 0), 1);
  EXPECT_EQ(At<int32_t>(record, 4), 0);
  EXPECT_EQ(At<uint64_t>(record, 8), 32u);
  EXPECT_EQ(At<int32_t>(record, 16), 7);
  EXPECT_EQ(At<int32_t>(record, 20), 0);
  const auto thunk = At<FlutterDesktopGpuSurfaceTextureCallback>(record, 24);
  EXPECT_EQ(thunk, &GpuSurfaceThunk);
  void* user_data = At<void*>(record, 32);
  EXPECT_EQ(user_data, &std::get<GpuSurfaceSource>(source));
  EXPECT_EQ(thunk(1, 2, user_data), surface);
}

TEST_F(TextureRegistrarTest, MissingSourceIsRefusedWithoutEngineCall) {
  int64_t id = 0;
  EXPECT_EQ(StderrLines([&] {
              id = registrar_impl_->RegisterExternalTexture(nullptr);
            }),
            std::vector<std::string>{
                "Attempting to register unknown texture variant."});
  EXPECT_EQ(id, -1);
  EXPECT_TRUE(CallLog().empty());
}

TEST_F(TextureRegistrarTest, CompletionRunsOnceWhenTheEngineIsDone) {
  TextureSource source = PixelBufferSource{};
  const int64_t id = registrar_impl_->RegisterExternalTexture(&source);
  int runs = 0;
  auto token = std::make_shared<int>(0);
  registrar_impl_->UnregisterExternalTexture(id, [&runs, token] { ++runs; });
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(quorvane_engine::CompleteUnregistrations(textures_), 1);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(token.use_count(), 1);  // freed right after it ran
  EXPECT_EQ(quorvane_engine::CompleteUnregistrations(textures_), 0);
}

TEST_F(TextureRegistrarTest, CallbacksNeverThrowIntoTheEngine) {
  TextureSource empty = PixelBufferSource{};
  EXPECT_EQ(PixelBufferThunk(1, 1, &std::get<PixelBufferSource>(empty)),
            nullptr);
  TextureSource throwing =
      PixelBufferSource{[](size_t, size_t) -> const FlutterDesktopPixelBuffer* {
        throw std::runtime_error("no frame");
      }};
  const FlutterDesktopPixelBuffer* frame = nullptr;
  const auto lines = StderrLines([&] {
    frame = PixelBufferThunk(1, 1, &std::get<PixelBufferSource>(throwing));
  });
  EXPECT_EQ(frame, nullptr);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("no frame"), std::string::npos);
}

}  // namespace
}  // namespace flutter
