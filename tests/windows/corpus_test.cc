// Every container of the shared real-world corpus (made by OpenSSL, GnuTLS
// and NSS) must get success or one of the defined errors, and where it
// succeeds the PEM texts must match the openssl tool's byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "certificate_handler.h"
#include "openssl_tool.h"
#include "recording_result.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using flutter::EncodableValueMap;
using quorvane_testing::Answer;
using quorvane_testing::RecordingResult;

constexpr char kCorpus[] = QUORVANE_CORPUS_DIR;

// Containers that the tool opens but PKCS12_parse refuses, so the handler
// answers "BAD_PASSWORD" as the library decides; the reason, or "".
std::string KnownRefusal(const std::string& name, const std::string& password) {
  if (name.find("pass(unicode,openssl-1.0.2k") != std::string::npos) {
    return "the non-ASCII password was encoded by OpenSSL 1.0; the tool "
           "retries that encoding, PKCS12_parse does not";
  }
  if (name.find("mac(") == std::string::npos && !password.empty()) {
    return "no MAC: PKCS12_parse verifies a non-empty password against the "
           "MAC, the tool skips the check";
  }
  return std::string();
}

std::string PasswordFor(const std::string& name) {
  std::string kind;
  if (name.find("pass(ascii") != std::string::npos ||
      name.find("pass-mac(ascii)") != std::string::npos) {
    kind = "ascii";
  } else if (name.find("pass(unicode") != std::string::npos) {
    kind = "unicode";
  } else {
    return std::string();  // pass(empty), or no password at all
  }
  const auto bytes = quorvane_testing::ReadFileBytes(
      (fs::path(kCorpus) / ("password-" + kind + ".txt")).string());
  return std::string(bytes.begin(), bytes.end());
}

TEST(CorpusTest, EveryContainerAgreesWithTheOpensslTool) {
  if (!fs::is_directory(kCorpus)) {
    GTEST_SKIP() << "no corpus at " << kCorpus;
  }
  const std::set<std::string> defined = {
      "BAD_PASSWORD/Invalid password",
      "CERTIFICATE_ERROR/Couldn't embed the certificate",
      "CERTIFICATE_ERROR/The container holds no private key"};
  int containers = 0;
  int agree = 0;
  std::vector<std::string> refused;
  for (const auto& entry : fs::directory_iterator(kCorpus)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".p12") {
      continue;
    }
    SCOPED_TRACE(name);
    ++containers;
    const std::string password = PasswordFor(name);
    const auto tool =
        quorvane_testing::ReadWithOpensslTool(entry.path().string(), password);
    const EncodableValueMap arguments{
        {"certificate", quorvane_testing::ReadFileBytes(entry.path().string())},
        {"password", password}};
    Answer answer;
    HandleGetCertificate(&arguments, RecordingResult::Make(&answer));
    ASSERT_EQ(answer.answers, 1);
    ASSERT_TRUE(answer.destroyed);

    if (answer.kind == Answer::Kind::kError) {
      EXPECT_EQ(defined.count(answer.code + "/" + answer.message), 1u)
          << answer.code << ": " << answer.message;
      if (!tool.opened) {
        ++agree;
        continue;
      }
      const std::string reason = KnownRefusal(name, password);
      EXPECT_FALSE(reason.empty())
          << "the tool opens it, the handler answers " << answer.code;
      EXPECT_EQ(answer.code, "BAD_PASSWORD");
      if (!reason.empty()) {
        refused.push_back(name + ": ");
        refused.back() += reason;
        ++agree;
      }
      continue;
    }
    ASSERT_EQ(answer.kind, Answer::Kind::kSuccess);
    ASSERT_TRUE(tool.opened) << "the handler opens what the tool refuses";
    std::string chain = tool.cert_pem;
    for (const auto& ca : tool.ca_pems) {
      chain += ca;
    }
    const bool same = answer.Text("rootCertBase64") == tool.cert_pem &&
                      answer.Text("chainCertBase64") == chain &&
                      answer.Text("privateKeyCertBase64") == tool.key_pem;
    EXPECT_TRUE(same);
    agree += same ? 1 : 0;
  }
  for (const auto& line : refused) {
    std::cout << "refused as the library decides: " << line << "\n";
  }
  std::cout << agree << " of " << containers << " agree\n";
  EXPECT_EQ(agree, containers);
}

}  // namespace
}  // namespace quorvane
