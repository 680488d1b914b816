// The host tool as people run it: a separate process, its exit status, its
// standard output and standard error.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "certificate_handler.h"
#include "openssl_tool.h"
#include "platform.h"
#include "recording_result.h"
#include "time_zones.h"

namespace {

namespace fs = std::filesystem;
using quorvane_testing::QuoteArgument;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Windows writes text streams with CR LF; the tests compare lines.
std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

class ToolTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("quorvane-tool-" + std::to_string(quorvane_testing::ProcessId()) +
         "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the tool with `arguments` (already shell words), `input` on stdin.
  ToolRun Tool(const std::string& arguments, const std::string& input = "") {
    const fs::path in = dir_ / ".stdin";
    const fs::path err = dir_ / ".stderr";
    std::ofstream(in, std::ios::binary) << input;
    const std::string command = QuoteArgument(QUORVANE_TOOL) + " " + arguments +
                                " <" + QuoteArgument(in.string()) + " 2>" +
                                QuoteArgument(err.string());
    ToolRun run;
    run.status = quorvane_testing::RunCommand(command, &run.out);
    run.out = WithoutCarriageReturns(run.out);
    run.err = WithoutCarriageReturns(Slurp(err));
    return run;
  }

  static std::string Fixture(const std::string& name) {
    return QuoteArgument(std::string(QUORVANE_FIXTURE_DIR) + "/" + name);
  }

  fs::path dir_;
};

TEST_F(ToolTest, CommandLine) {
  struct Case {
    const char* name;
    std::string arguments;
    int status;
    const char* out;  // contained in standard output
    bool one_error_line;
  };
  const Case cases[] = {
      {"control: opens",
       "get-certificate " + Fixture("modern-aes.p12") + " --password secret", 0,
       "subject:  Quorvane Test", false},
      {"expiry named as the certificate's notAfter, in UTC",
       "get-certificate " + Fixture("modern-aes.p12") + " --password secret", 0,
       "expires:  2036-12-31T23:59:59Z (", false},
      // On Windows the narrow command line is in the ANSI code page.
      {"non-ASCII password on the command line",
       "get-certificate " + Fixture("non-ascii-password.p12") + " --password " +
           QuoteArgument("pässwörd-Łódź"),
       0, "subject:  Quorvane Test", false},
      {"help", "--help", 0, "get-certificate", false},
      {"version", "--version", 0, "quorvane 0.1.0", false},
      {"no subcommand", "", 2, "", true},
      {"unknown option", "get-certificate x --frobnicate", 2, "", true},
      {"two password sources",
       "get-certificate " + Fixture("modern-aes.p12") +
           " --password a --password-stdin",
       2, "", true},
      {"unreadable file", "get-certificate /nonexistent/c.p12", 2, "", true},
      {"unreadable password file",
       "get-certificate " + Fixture("modern-aes.p12") +
           " --password-file /nonexistent/pw",
       2, "", true},
      {"bad hex", "send --channel quorvane --hex 0G", 2, "", true},
      {"wrong password",
       "get-certificate " + Fixture("modern-aes.p12") + " --password hunter2",
       1, "", true},
      {"raw bytes",
       "send --channel quorvane --hex " + QuoteArgument("07 01 6D 00"), 0,
       "empty response", false},
      {"raw getCertificate without arguments",
       "send --channel quorvane --hex " +
           QuoteArgument("07 0E 67 65 74 43 65 72 74 69 66 69 63 61 74 65 00"),
       0, "01 07 11 49 4E 56 41 4C 49 44", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = Tool(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    if (c.one_error_line) {
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      EXPECT_EQ(run.err.find("hunter2"), std::string::npos);
    }
  }
}

TEST_F(ToolTest, JsonIsOneObject) {
  const ToolRun ok = Tool(
      "get-certificate " + Fixture("two-cas.p12") + " --password-stdin --json",
      "secret\n");
  ASSERT_EQ(ok.status, 0) << ok.err;
  const auto object = nlohmann::json::parse(ok.out);
  EXPECT_EQ(object.size(), 5u);
  EXPECT_EQ(object["subject"], "Quorvane Chained Leaf");
  EXPECT_EQ(quorvane_testing::PemBlocks(object["chainCertBase64"]).size(), 3u);

  const ToolRun error = Tool("get-certificate " + Fixture("two-cas.p12") +
                             " --password wrong --json");
  EXPECT_EQ(error.status, 1);
  EXPECT_EQ(nlohmann::json::parse(error.out),
            (nlohmann::json{{"code", "BAD_PASSWORD"},
                            {"message", "Invalid password"}}));
}

TEST_F(ToolTest, TraceShowsEveryEngineCallOfTheRequest) {
  const ToolRun run = Tool("--trace send --channel quorvane --hex " +
                           QuoteArgument("07 01 6D 00"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "engine: message#1 on \"quorvane\" (4 bytes) -> callback\n"
            "engine: FlutterDesktopMessengerAddRef(messenger#1)\n"
            "engine: FlutterDesktopMessengerLock(messenger#1)\n"
            "engine: FlutterDesktopMessengerIsAvailable(messenger#1)\n"
            "engine: FlutterDesktopMessengerSendResponse(messenger#1, "
            "response#1, 0 bytes)\n"
            "engine: FlutterDesktopMessengerUnlock(messenger#1)\n"
            "engine: FlutterDesktopMessengerRelease(messenger#1)\n");
}

// Each run is a fresh process, so the C runtime meets the zone first in the
// conversion itself: this is where a runtime that has not read TZ yet
// shows. The number must be the same on every platform, from year 0 to
// 9999, and the human line must name the notAfter in UTC whatever the zone.
TEST_F(ToolTest, ExpiryInAFreshProcessInEveryZone) {
  struct Case {
    const char* file;
    int64_t utc_seconds;  // the notAfter digits read as UTC
    const char* utc_text;
  };
  const Case cases[] = {
      {"modern-aes.p12", 2114380799, "2036-12-31T23:59:59Z"},
      {"gen-99991231235959.p12", 253402300799, "9999-12-31T23:59:59Z"},
      {"gen-19000101000000.p12", -2208988800, "1900-01-01T00:00:00Z"},
      {"gen-00000101000000.p12", -62167219200, "0000-01-01T00:00:00Z"},
      {"utc-690101000000.p12", 3124224000, "2069-01-01T00:00:00Z"},
  };
  for (const auto& zone : quorvane_testing::kTimeZones) {
    SCOPED_TRACE(zone.tz);
    const quorvane_testing::ScopedTimeZone scoped(zone.tz);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.file);
      const std::string arguments =
          "get-certificate " + Fixture(c.file) + " --password secret";
      const ToolRun json = Tool(arguments + " --json");
      ASSERT_EQ(json.status, 0) << json.err;
      const std::string seconds =
          std::to_string(c.utc_seconds + zone.standard_west_of_utc);
      EXPECT_EQ(nlohmann::json::parse(json.out)["expirationTime"], seconds);
      const ToolRun human = Tool(arguments);
      EXPECT_NE(human.out.find(std::string("expires:  ") + c.utc_text + " (" +
                               seconds + ")"),
                std::string::npos)
          << human.out;
    }
  }
}

// Awkward names, a password file, PEM files that are never silently replaced,
// and a key that only its owner can read.
TEST_F(ToolTest, WritesPemFilesCarefully) {
  const fs::path awkward = dir_ / "my certs (2024), a & b";
  fs::create_directories(awkward);
  const fs::path container = awkward / "key store (1), copy & paste.p12";
  fs::copy_file(std::string(QUORVANE_FIXTURE_DIR) + "/non-ascii-password.p12",
                container);
  const fs::path password = awkward / "pass word.txt";
  std::ofstream(password) << "pässwörd-Łódź\n";
  const std::string arguments =
      "get-certificate " + QuoteArgument(container.string()) +
      " --password-file " + QuoteArgument(password.string()) + " --pem-dir " +
      QuoteArgument(awkward.string());

  const ToolRun first = Tool(arguments);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("cert.pem, chain.pem, key.pem"), std::string::npos);
  const auto reply = nlohmann::json::parse(
      Tool(arguments.substr(0, arguments.find(" --pem-dir")) + " --json").out);
  EXPECT_EQ(Slurp(awkward / "cert.pem"), reply["rootCertBase64"]);
  EXPECT_EQ(Slurp(awkward / "chain.pem"), reply["chainCertBase64"]);
  EXPECT_EQ(Slurp(awkward / "key.pem"), reply["privateKeyCertBase64"]);
  std::string no_posix_files;
  if (quorvane_testing::HasPosixFiles(&no_posix_files)) {
    EXPECT_EQ(fs::status(awkward / "key.pem").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
  } else {
    std::cout << "key.pem's owner-only mode not checked: " << no_posix_files
              << "\n";
  }

  std::ofstream(awkward / "key.pem", std::ios::trunc) << "mine";
  const ToolRun again = Tool(arguments);
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.err.find("exists"), std::string::npos);
  EXPECT_EQ(Slurp(awkward / "key.pem"), "mine");

  EXPECT_EQ(Tool(arguments + " --force").status, 0);
  EXPECT_EQ(Slurp(awkward / "key.pem"), reply["privateKeyCertBase64"]);
}

// The tool answers every corpus container exactly as the handler does.
TEST_F(ToolTest, AgreesWithTheHandlerOnTheCorpus) {
  const fs::path corpus = QUORVANE_CORPUS_DIR;
  if (!fs::is_directory(corpus)) {
    GTEST_SKIP() << "no corpus at " << corpus;
  }
  const auto password_text = [&](const char* kind) {
    const auto bytes = quorvane_testing::ReadFileBytes(
        (corpus / (std::string("password-") + kind + ".txt")).string());
    return std::string(bytes.begin(), bytes.end());
  };
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".p12") {
      continue;
    }
    SCOPED_TRACE(name);
    std::string password;
    if (name.find("pass(ascii") != std::string::npos ||
        name.find("pass-mac(ascii)") != std::string::npos) {
      password = password_text("ascii");
    } else if (name.find("pass(unicode") != std::string::npos) {
      password = password_text("unicode");
    }
    const ToolRun run =
        Tool("get-certificate " + QuoteArgument(entry.path().string()) +
                 " --password-stdin --json",
             password + "\n");
    const auto object = nlohmann::json::parse(run.out);

    quorvane_testing::Answer answer;
    const flutter::EncodableValueMap arguments{
        {"certificate", quorvane_testing::ReadFileBytes(entry.path().string())},
        {"password", password}};
    quorvane::HandleGetCertificate(
        &arguments, quorvane_testing::RecordingResult::Make(&answer));
    if (answer.kind == quorvane_testing::Answer::Kind::kError) {
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(object, (nlohmann::json{{"code", answer.code},
                                        {"message", answer.message}}));
    } else {
      EXPECT_EQ(run.status, 0);
      nlohmann::json expected = nlohmann::json::object();
      for (const auto& [key, value] : answer.Map()) {
        expected[key.Get<std::string>()] = value.Get<std::string>();
      }
      EXPECT_EQ(object, expected);
    }
    ++checked;
  }
  EXPECT_EQ(checked, 158);
}

}  // namespace
