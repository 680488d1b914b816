#ifndef QUORVANE_TESTS_TESTING_ENGINE_FIXTURE_H_
#define QUORVANE_TESTS_TESTING_ENGINE_FIXTURE_H_

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "engine_control.h"

namespace quorvane_testing {

// A fresh stand-in registrar per test, and the stand-in's verdict at the
// end: no misuse, and (unless a test keeps replies on purpose) every
// messenger reference given back.
class EngineTest : public testing::Test {
 protected:
  void SetUp() override {
    quorvane_engine::ClearFailures();
    registrar_ = quorvane_engine::CreateRegistrar();
    messenger_ = quorvane_engine::MessengerOf(registrar_);
    quorvane_engine::ClearCallLog();
  }
  void TearDown() override {
    EXPECT_EQ(quorvane_engine::Failures(), std::vector<std::string>{});
    EXPECT_EQ(quorvane_engine::OutstandingReferences(messenger_), 0);
  }

  // The call log with handle numbers (which depend on what ran before in
  // the process) replaced by N: "messenger#N".
  static std::vector<std::string> CallLog() {
    std::vector<std::string> log = quorvane_engine::CallLog();
    for (std::string& line : log) {
      std::string normal;
      for (size_t i = 0; i < line.size(); ++i) {
        normal += line[i];
        if (line[i] == '#' && i + 1 < line.size() &&
            std::isdigit(static_cast<unsigned char>(line[i + 1]))) {
          normal += 'N';
          while (i + 1 < line.size() &&
                 std::isdigit(static_cast<unsigned char>(line[i + 1]))) {
            ++i;
          }
        }
      }
      line = normal;
    }
    return log;
  }

  FlutterDesktopPluginRegistrarRef registrar_ = nullptr;
  FlutterDesktopMessengerRef messenger_ = nullptr;
};

}  // namespace quorvane_testing

#endif  // QUORVANE_TESTS_TESTING_ENGINE_FIXTURE_H_
