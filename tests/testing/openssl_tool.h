#ifndef QUORVANE_TESTS_TESTING_OPENSSL_TOOL_H_
#define QUORVANE_TESTS_TESTING_OPENSSL_TOOL_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane_testing {

// What the `openssl pkcs12 -legacy` command prints for a container: the
// independent source of the PEM texts that the handler must reproduce.
//
// The oracle is the Linux openssl tool on every platform. When the
// environment names a folder in QUORVANE_OPENSSL_ORACLE, each answer is
// recorded there (Linux) or read back from there (Windows, where the tool
// under wine was too slow and not always deterministic), keyed by the
// container's file name and the password; an answer that was never recorded
// fails the test.
struct ToolTexts {
  bool opened = false;  // the tool accepted the password and printed a key
  std::string cert_pem;
  std::vector<std::string> ca_pems;
  std::string key_pem;
};

ToolTexts ReadWithOpensslTool(const std::string& path,
                              const std::string& password);

std::vector<uint8_t> ReadFileBytes(const std::string& path);

// The PEM blocks of a text, each from "-----BEGIN" to its "-----END ...-----"
// line end inclusive, in order.
std::vector<std::string> PemBlocks(const std::string& text);

}  // namespace quorvane_testing

#endif  // QUORVANE_TESTS_TESTING_OPENSSL_TOOL_H_
