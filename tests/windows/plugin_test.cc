// The plugin library as a host loads it: by path, through its one export,
// on stand-in registrars, with messages in the standard codec.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "bytes.h"
#include "engine_fixture.h"
#include "openssl_tool.h"
#include "platform.h"
#include "plugin_host.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueMap;
using quorvane_host::Outcome;
using quorvane_host::PluginHost;

quorvane_host::RegisterFunction Plugin() {
  std::string error;
  static const auto function =
      quorvane_host::LoadPlugin(QUORVANE_DEFAULT_PLUGIN, &error);
  EXPECT_NE(function, nullptr) << error;
  return function;
}

EncodableValue Arguments(const std::string& fixture,
                         const std::string& password) {
  return EncodableValueMap{
      {"certificate", quorvane_testing::ReadFileBytes(
                          std::string(QUORVANE_FIXTURE_DIR) + "/" + fixture)},
      {"password", password}};
}

class PluginTest : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(quorvane_engine::Failures(), std::vector<std::string>{});
    quorvane_engine::ClearFailures();
  }
};

TEST_F(PluginTest, ExportsOnlyItsRegistrationFunction) {
  std::string error;
  const auto exported =
      quorvane_testing::ExportedNames(QUORVANE_DEFAULT_PLUGIN, &error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(exported,
            std::set<std::string>{"QuorvanePluginRegisterWithRegistrar"});
}

// An application ships quorvane_plugin.dll beside flutter_windows.dll and
// nothing else: no compiler runtime, no libcrypto DLL.
TEST_F(PluginTest, NeedsNoDllBeyondTheSystemAndTheEngine) {
  std::string error;
  const auto imported =
      quorvane_testing::ImportedLibraries(QUORVANE_DEFAULT_PLUGIN, &error);
  if (!error.empty()) {
    GTEST_SKIP() << error;
  }
  const std::set<std::string> allowed = {
      "flutter_windows.dll", "kernel32.dll", "msvcrt.dll",  "advapi32.dll",
      "user32.dll",          "ws2_32.dll",   "crypt32.dll", "bcrypt.dll"};
  EXPECT_NE(std::find(imported.begin(), imported.end(), "flutter_windows.dll"),
            imported.end());
  for (const auto& name : imported) {
    EXPECT_EQ(allowed.count(name), 1u) << name << " is not a system DLL";
  }
}

TEST_F(PluginTest, AnswersOnItsChannel) {
  PluginHost host(Plugin());
  struct Case {
    const char* name;
    const char* method;
    EncodableValue arguments;
    Outcome::Kind kind;
    const char* code;
    const char* message;
  };
  const Case cases[] = {
      {"control: opens", "getCertificate",
       Arguments("modern-aes.p12", "secret"), Outcome::Kind::kSuccess, "", ""},
      {"legacy container", "getCertificate",
       Arguments("legacy-rc2-40.p12", "secret"), Outcome::Kind::kSuccess, "",
       ""},
      {"wrong password", "getCertificate", Arguments("modern-aes.p12", "nope"),
       Outcome::Kind::kError, "BAD_PASSWORD", "Invalid password"},
      {"not a container", "getCertificate",
       EncodableValueMap{{"certificate", std::vector<uint8_t>{1, 2}},
                         {"password", ""}},
       Outcome::Kind::kError, "CERTIFICATE_ERROR",
       "Couldn't embed the certificate"},
      {"no arguments", "getCertificate", EncodableValue(),
       Outcome::Kind::kError, "INVALID_ARGUMENTS", nullptr},
      {"other method", "getCertificates", EncodableValue(),
       Outcome::Kind::kNotImplemented, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = host.Call("quorvane", c.method, c.arguments);
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.code, c.code);
    if (c.message != nullptr) {
      EXPECT_EQ(outcome.message, c.message);
    }
  }
  EXPECT_EQ(quorvane_engine::OutstandingReferences(
                quorvane_engine::MessengerOf(host.registrar())),
            0);
}

TEST_F(PluginTest, ReplyListsItsKeysInOrder) {
  PluginHost host(Plugin());
  const Outcome outcome = host.Call("quorvane", "getCertificate",
                                    Arguments("two-cas.p12", "secret"));
  ASSERT_EQ(outcome.kind, Outcome::Kind::kSuccess);
  const std::string bytes(outcome.bytes.begin(), outcome.bytes.end());
  size_t last = 0;
  for (const char* key :
       {"chainCertBase64", "expirationTime", "privateKeyCertBase64",
        "rootCertBase64", "subject"}) {
    SCOPED_TRACE(key);
    const size_t at =
        bytes.find(std::string(1, static_cast<char>(strlen(key))) + key);
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(at, last);
    last = at;
  }
}

TEST_F(PluginTest, UndecodableMessageIsAnsweredEmpty) {
  PluginHost host(Plugin());
  std::optional<std::vector<uint8_t>> response;
  const auto lines = quorvane_testing::StderrLines([&] {
    response = host.Send("quorvane", quorvane_testing::Hex("03 01 00 00 00"));
  });
  EXPECT_EQ(response, std::vector<uint8_t>{});
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "Invalid method call; method name is not a string.",
                "Unable to construct method call from message on channel "
                "quorvane"}));
  EXPECT_EQ(host.Send("quorvane", {}), std::vector<uint8_t>{});
}

TEST_F(PluginTest, RegistersTwiceOnOneHandleAndOnTwoHandles) {
  PluginHost first(Plugin());
  Plugin()(
      first.registrar());  // again on the same handle: replaces the handler
  PluginHost second(Plugin());
  for (PluginHost* host : {&first, &second}) {
    EXPECT_EQ(host->Call("quorvane", "getCertificate",
                         Arguments("modern-aes.p12", "secret"))
                  .kind,
              Outcome::Kind::kSuccess);
  }
  EXPECT_NE(quorvane_engine::CallbackFor(
                quorvane_engine::MessengerOf(first.registrar()), "quorvane")
                ->user_data,
            quorvane_engine::CallbackFor(
                quorvane_engine::MessengerOf(second.registrar()), "quorvane")
                ->user_data);
}

TEST_F(PluginTest, RegistersAgainAfterItsRegistrarIsDestroyed) {
  FlutterDesktopMessengerRef old_messenger = nullptr;
  {
    PluginHost host(Plugin());
    old_messenger = quorvane_engine::MessengerOf(host.registrar());
  }  // the engine destroys the registrar; the plugin goes with it
  EXPECT_EQ(
      quorvane_engine::Exchange(old_messenger, "quorvane", {1}),
      std::vector<uint8_t>{});  // nobody listens: the engine answers empty
  PluginHost again(Plugin());
  EXPECT_EQ(again
                .Call("quorvane", "getCertificate",
                      Arguments("modern-aes.p12", "secret"))
                .kind,
            Outcome::Kind::kSuccess);
}

}  // namespace
