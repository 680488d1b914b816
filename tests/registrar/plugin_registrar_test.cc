#include "registrar/plugin_registrar.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace flutter {
namespace {

class PluginRegistrarTest : public quorvane_testing::EngineTest {};

TEST_F(PluginRegistrarTest, OneRegistrarPerHandle) {
  RegistrarManager* manager = RegistrarManager::GetInstance();
  EXPECT_EQ(manager, RegistrarManager::GetInstance());
  PluginRegistrarWindows* first = manager->RegistrarFor(registrar_);
  const std::vector<std::string> construction = {
      "FlutterDesktopPluginRegistrarGetMessenger(registrar#N)",
      "FlutterDesktopRegistrarGetTextureRegistrar(registrar#N)",
      "FlutterDesktopPluginRegistrarGetView(registrar#N)",
      "FlutterDesktopPluginRegistrarSetDestructionHandler(registrar#N, set)"};
  EXPECT_EQ(CallLog(), construction);
  ASSERT_NE(first->GetMessenger(), nullptr);
  ASSERT_NE(first->GetTextureRegistrar(), nullptr);
  ASSERT_NE(first->GetView(), nullptr);
  EXPECT_EQ(first->GetView()->view(), quorvane_engine::ViewOf(registrar_));

  quorvane_engine::ClearCallLog();
  EXPECT_EQ(manager->RegistrarFor(registrar_), first);
  EXPECT_EQ(CallLog(), construction);  // built, discarded, handler again

  auto* other_handle = quorvane_engine::CreateRegistrar(/*with_view=*/false);
  PluginRegistrarWindows* other = manager->RegistrarFor(other_handle);
  EXPECT_NE(other, first);
  EXPECT_NE(other->GetMessenger(), first->GetMessenger());
  EXPECT_NE(other->GetTextureRegistrar(), first->GetTextureRegistrar());
  EXPECT_EQ(other->GetView(), nullptr);

  HandleRegistrarDestruction(registrar_);
  HandleRegistrarDestruction(other_handle);
}

// Plugins go first, while the view, messenger and texture registrar they
// may use still exist; the messenger (and the handlers it owns) goes later.
TEST_F(PluginRegistrarTest, DestructionRunsInOrder) {
  std::vector<std::string> events;
  struct Recorder : Plugin {
    Recorder(std::vector<std::string>* events,
             PluginRegistrarWindows* registrar)
        : events(events), registrar(registrar) {}
    ~Recorder() override {
      const bool intact = registrar->GetView() != nullptr &&
                          registrar->GetMessenger() != nullptr &&
                          registrar->GetTextureRegistrar() != nullptr;
      events->push_back(intact ? "plugin, all intact" : "plugin, too late");
    }
    std::vector<std::string>* events;
    PluginRegistrarWindows* registrar;
  };
  struct Guard {
    explicit Guard(std::vector<std::string>* events) : events(events) {}
    ~Guard() { events->push_back("messenger's handler"); }
    std::vector<std::string>* events;
  };

  PluginRegistrarWindows* registrar =
      RegistrarManager::GetInstance()->RegistrarFor(registrar_);
  registrar->AdoptPlugin(std::make_unique<Recorder>(&events, registrar));
  registrar->AdoptPlugin(std::make_unique<Recorder>(&events, registrar));
  auto guard = std::make_shared<Guard>(&events);
  registrar->GetMessenger()->SetMessageHandler(
      "x", [guard](const uint8_t*, uint64_t, const BinaryReply&) {});
  guard.reset();

  quorvane_engine::ClearCallLog();
  quorvane_engine::DestroyRegistrar(registrar_);  // runs the handler
  EXPECT_EQ(events, (std::vector<std::string>{"plugin, all intact",
                                              "plugin, all intact",
                                              "messenger's handler"}));
  EXPECT_EQ(CallLog(), std::vector<std::string>{"destroy registrar#N"});
}

TEST_F(PluginRegistrarTest, RegistersAgainAfterDestruction) {
  bool destroyed = false;
  struct Flag : Plugin {
    explicit Flag(bool* destroyed) : destroyed(destroyed) {}
    ~Flag() override { *destroyed = true; }
    bool* destroyed;
  };
  RegistrarManager::GetInstance()
      ->RegistrarFor(registrar_)
      ->AdoptPlugin(std::make_unique<Flag>(&destroyed));
  HandleRegistrarDestruction(registrar_);
  EXPECT_TRUE(destroyed);

  destroyed = false;
  PluginRegistrarWindows* again =
      RegistrarManager::GetInstance()->RegistrarFor(registrar_);
  ASSERT_NE(again, nullptr);
  HandleRegistrarDestruction(registrar_);
  EXPECT_FALSE(destroyed);  // the new registrar had no plugins
}

TEST_F(PluginRegistrarTest, UnknownHandleDestructionDoesNothing) {
  quorvane_engine::ClearCallLog();
  int never_registered = 0;
  HandleRegistrarDestruction(
      reinterpret_cast<FlutterDesktopPluginRegistrarRef>(&never_registered));
  EXPECT_TRUE(CallLog().empty());
}

}  // namespace
}  // namespace flutter
