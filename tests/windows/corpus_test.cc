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
      "CERTIFICATE_ERROR/The container holds no private key",
      "CERTIFICATE_ERROR/The container holds no certificate for its private "
      "key"};
  // These two name what they refuse after the colon.
  const std::string unavailable =
      "CERTIFICATE_ERROR/The container uses an algorithm that is not "
      "available: ";
  const std::string too_much_work =
      "CERTIFICATE_ERROR/The container asks for more work than allowed: ";
  int containers = 0;
  int agree = 0;
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
      const std::string said = answer.code + "/" + answer.message;
      EXPECT_TRUE(defined.count(said) == 1 || said.rfind(unavailable, 0) == 0 ||
                  said.rfind(too_much_work, 0) == 0)
          << said;
      EXPECT_FALSE(tool.opened)
          << "the tool opens it, the handler answers " << said;
      agree += tool.opened ? 0 : 1;
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
  std::cout << agree << " of " << containers << " agree\n";
  EXPECT_EQ(agree, containers);
}

}  // namespace
}  // namespace quorvane
