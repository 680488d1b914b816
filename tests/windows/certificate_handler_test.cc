#include "certificate_handler.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "openssl_tool.h"
#include "platform.h"
#include "recording_result.h"
#include "time_zones.h"

namespace quorvane {
namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;
using quorvane_testing::Answer;
using quorvane_testing::RecordingResult;

std::string FixturePath(const std::string& name) {
  return std::string(QUORVANE_FIXTURE_DIR) + "/" + name;
}

EncodableValueMap Arguments(const std::vector<uint8_t>& bytes,
                            const std::string& password) {
  return EncodableValueMap{{"certificate", bytes}, {"password", password}};
}

Answer Handle(const EncodableValueMap* arguments) {
  Answer answer;
  HandleGetCertificate(arguments, RecordingResult::Make(&answer));
  EXPECT_EQ(answer.answers, 1);
  EXPECT_TRUE(answer.destroyed);
  return answer;
}

Answer OpenFixture(const std::string& name, const std::string& password) {
  const auto arguments =
      Arguments(quorvane_testing::ReadFileBytes(FixturePath(name)), password);
  return Handle(&arguments);
}

TEST(CertificateHandlerTest, OpensFixturesExactlyAsTheOpensslToolPrintsThem) {
  struct Case {
    const char* file;
    const char* password;
    const char* subject;
  };
  const Case cases[] = {
      {"modern-aes.p12", "secret", "Quorvane Test"},
      {"legacy-rc2-40.p12", "secret", "Quorvane Test"},
      {"empty-password.p12", "", "Quorvane Test"},
      {"non-ascii-password.p12", "pässwörd-Łódź", "Quorvane Test"},
      {"two-cas.p12", "secret", "Quorvane Chained Leaf"},
      {"no-cn.p12", "secret", ""},
      {"two-cn.p12", "secret", "Second Name"},
      {"bmp-cn.p12", "secret", "Zoë Ünïcode"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto tool =
        quorvane_testing::ReadWithOpensslTool(FixturePath(c.file), c.password);
    ASSERT_TRUE(tool.opened);
    const Answer answer = OpenFixture(c.file, c.password);
    ASSERT_EQ(answer.kind, Answer::Kind::kSuccess) << answer.message;

    std::vector<std::string> keys;
    for (const auto& entry : answer.Map()) {
      keys.push_back(entry.first.Get<std::string>());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "chainCertBase64", "expirationTime",
                        "privateKeyCertBase64", "rootCertBase64", "subject"}));
    EXPECT_EQ(answer.Text("subject"), c.subject);
    EXPECT_EQ(answer.Text("rootCertBase64"), tool.cert_pem);
    EXPECT_EQ(answer.Text("privateKeyCertBase64"), tool.key_pem);
    std::string chain = tool.cert_pem;
    for (const auto& ca : tool.ca_pems) {
      chain += ca;
    }
    EXPECT_EQ(answer.Text("chainCertBase64"), chain);
  }
}

TEST(CertificateHandlerTest, ChainListsLeafThenEveryAuthority) {
  const Answer alone = OpenFixture("modern-aes.p12", "secret");
  ASSERT_EQ(alone.kind, Answer::Kind::kSuccess);
  EXPECT_EQ(alone.Text("chainCertBase64"), alone.Text("rootCertBase64"));

  const Answer chained = OpenFixture("two-cas.p12", "secret");
  ASSERT_EQ(chained.kind, Answer::Kind::kSuccess);
  const auto blocks =
      quorvane_testing::PemBlocks(chained.Text("chainCertBase64"));
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0], chained.Text("rootCertBase64"));
}

// notAfter digits are read as local standard time (no daylight saving), and
// UTCTime years pivot at 70.
TEST(CertificateHandlerTest, ExpirationIsLocalStandardTime) {
  struct Case {
    const char* file;
    int64_t utc_seconds;  // the digits read as UTC
  };
  const Case cases[] = {
      {"modern-aes.p12", 2114380799},            // 2036-12-31 23:59:59
      {"utc-491231235959.p12", 2524607999},      // 2049-12-31 23:59:59
      {"utc-700101120000.p12", 43200},           // 1970-01-01 12:00:00
      {"utc-690101000000.p12", 3124224000},      // 2069, not 1969
      {"gen-20501231235959.p12", 2556143999},    // 2050-12-31 23:59:59
      {"gen-99991231235959.p12", 253402300799},  // "no expiry", not -1
      {"gen-20300701120000.p12", 1909137600},    // in summer time
      {"gen-19000101000000.p12", -2208988800},   // before 1970
      {"gen-00000101000000.p12", -62167219200},  // year 0
  };
  for (const auto& zone : quorvane_testing::kTimeZones) {
    SCOPED_TRACE(zone.tz);
    const quorvane_testing::ScopedTimeZone scoped(zone.tz);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.file);
      const Answer answer = OpenFixture(c.file, "secret");
      ASSERT_EQ(answer.kind, Answer::Kind::kSuccess);
      EXPECT_EQ(answer.Text("expirationTime"),
                std::to_string(c.utc_seconds + zone.standard_west_of_utc));
    }
  }
}

TEST(CertificateHandlerTest, ErrorsForContainersThatDoNotOpen) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string password;
    const char* code;
    const char* message;
  };
  const auto modern =
      quorvane_testing::ReadFileBytes(FixturePath("modern-aes.p12"));
  const auto legacy =
      quorvane_testing::ReadFileBytes(FixturePath("legacy-rc2-40.p12"));
  auto truncated = modern;
  truncated.resize(truncated.size() / 2);
  const Case cases[] = {
      {"control: right password", modern, "secret", "", ""},
      {"wrong password", modern, "Secret", "BAD_PASSWORD", "Invalid password"},
      {"legacy, wrong password", legacy, "wrong", "BAD_PASSWORD",
       "Invalid password"},
      {"password cut at its first NUL", modern, std::string("secret\0x", 8), "",
       ""},
      {"empty bytes",
       {},
       "secret",
       "CERTIFICATE_ERROR",
       "Couldn't embed the certificate"},
      {"not a container",
       {0x30, 0x03, 0x02, 0x01, 0x03},
       "secret",
       "CERTIFICATE_ERROR",
       "Couldn't embed the certificate"},
      {"truncated container", truncated, "secret", "CERTIFICATE_ERROR",
       "Couldn't embed the certificate"},
      // The right password: "Invalid password" here was a right password
      // reported as wrong.
      {"certificate without its key",
       quorvane_testing::ReadFileBytes(FixturePath("no-key.p12")), "secret",
       "CERTIFICATE_ERROR", "The container holds no private key"},
      {"certificate without its key, wrong password",
       quorvane_testing::ReadFileBytes(FixturePath("no-key.p12")), "Secret",
       "BAD_PASSWORD", "Invalid password"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto arguments = Arguments(c.bytes, c.password);
    const Answer answer = Handle(&arguments);
    if (*c.code == '\0') {
      EXPECT_EQ(answer.kind, Answer::Kind::kSuccess) << answer.message;
      continue;
    }
    EXPECT_EQ(answer.kind, Answer::Kind::kError);
    EXPECT_EQ(answer.code, c.code);
    EXPECT_EQ(answer.message, c.message);
    EXPECT_FALSE(answer.details.has_value());
  }
}

TEST(CertificateHandlerTest, RejectsArgumentsThatAreNotTheExpectedMap) {
  const std::vector<uint8_t> bytes{1, 2, 3};
  struct Case {
    const char* name;
    EncodableValue arguments;
  };
  const Case cases[] = {
      {"null", EncodableValue()},
      {"a list", EncodableValueList{bytes, "secret"}},
      {"certificate missing", EncodableValueMap{{"password", "secret"}}},
      {"certificate as text",
       EncodableValueMap{{"certificate", "MIIB"}, {"password", "secret"}}},
      {"certificate as int32 vector",
       EncodableValueMap{{"certificate", std::vector<int32_t>{1}},
                         {"password", "secret"}}},
      {"password missing", EncodableValueMap{{"certificate", bytes}}},
      {"password as bytes",
       EncodableValueMap{{"certificate", bytes},
                         {"password", std::vector<uint8_t>{'s'}}}},
      {"keys as byte vectors",
       EncodableValueMap{{std::vector<uint8_t>{'c'}, bytes}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Answer answer;
    DispatchMethodCall(
        flutter::MethodCall<EncodableValue>(
            "getCertificate", std::make_unique<EncodableValue>(c.arguments)),
        RecordingResult::Make(&answer));
    EXPECT_EQ(answer.answers, 1);
    EXPECT_TRUE(answer.destroyed);
    EXPECT_EQ(answer.kind, Answer::Kind::kError);
    EXPECT_EQ(answer.code, "INVALID_ARGUMENTS");
    EXPECT_NE(answer.message.find("\"certificate\""), std::string::npos);
  }

  Answer absent;
  DispatchMethodCall(
      flutter::MethodCall<EncodableValue>("getCertificate", nullptr),
      RecordingResult::Make(&absent));
  EXPECT_EQ(absent.code, "INVALID_ARGUMENTS");
}

TEST(CertificateHandlerTest, OtherMethodNamesAreNotImplemented) {
  const char* names[] = {"GetCertificate", "getCertificate ", "getcertificate",
                         "", "getCertificat"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    Answer answer;
    DispatchMethodCall(flutter::MethodCall<EncodableValue>(
                           name, std::make_unique<EncodableValue>()),
                       RecordingResult::Make(&answer));
    EXPECT_EQ(answer.answers, 1);
    EXPECT_EQ(answer.kind, Answer::Kind::kNotImplemented);
    EXPECT_TRUE(answer.destroyed);
  }
}

// The container never goes through a file: an installed application's
// working directory is usually read-only, and a fixed file name there could
// be someone else's file or a planted link.
TEST(CertificateHandlerTest, LeavesTheWorkingDirectoryAlone) {
  namespace fs = std::filesystem;
  std::string no_posix_files;
  const bool posix_files = quorvane_testing::HasPosixFiles(&no_posix_files);
  if (!posix_files) {
    std::cout << "no planted link, no read-only folder: " << no_posix_files
              << "\n";
  }
  const fs::path dir =
      fs::temp_directory_path() /
      ("quorvane-readonly-" + std::to_string(quorvane_testing::ProcessId()));
  fs::create_directories(dir);
  const fs::path existing = dir / "cert_temp.pfx";
  const fs::path victim = dir / "victim";
  { std::ofstream(victim) << "do not touch"; }
  { std::ofstream(existing) << "a user's own file"; }
  const auto stamp = fs::last_write_time(existing);
  std::vector<fs::path> folders{dir};
  if (posix_files) {
    const fs::path link_dir = dir / "linked";
    fs::create_directories(link_dir);
    fs::create_symlink(victim, link_dir / "cert_temp.pfx");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    folders.push_back(link_dir);
  }

  const fs::path previous = fs::current_path();
  for (const fs::path& cwd : folders) {
    SCOPED_TRACE(cwd.string());
    fs::current_path(cwd);
    const auto arguments = Arguments(
        quorvane_testing::ReadFileBytes(FixturePath("modern-aes.p12")),
        "secret");
    const Answer answer = Handle(&arguments);
    fs::current_path(previous);
    EXPECT_EQ(answer.kind, Answer::Kind::kSuccess);
  }
  std::string content;
  std::getline(std::ifstream(existing), content);
  EXPECT_EQ(content, "a user's own file");
  EXPECT_EQ(fs::last_write_time(existing), stamp);
  std::getline(std::ifstream(victim), content);
  EXPECT_EQ(content, "do not touch");

  fs::permissions(dir, fs::perms::owner_all);
  fs::remove_all(dir);
}

// First calls on several threads at once share one provider set-up.
TEST(CertificateHandlerTest, ConcurrentCallsAllSucceed) {
  const auto arguments = Arguments(
      quorvane_testing::ReadFileBytes(FixturePath("legacy-rc2-40.p12")),
      "secret");
  std::vector<Answer> answers(4);
  std::vector<std::thread> threads;
  threads.reserve(answers.size());
  for (Answer& answer : answers) {
    threads.emplace_back([&arguments, &answer] {
      HandleGetCertificate(&arguments, RecordingResult::Make(&answer));
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  for (const Answer& answer : answers) {
    EXPECT_EQ(answer.kind, Answer::Kind::kSuccess) << answer.message;
    EXPECT_EQ(answer.Text("rootCertBase64"), answers[0].Text("rootCertBase64"));
  }
}

}  // namespace
}  // namespace quorvane
