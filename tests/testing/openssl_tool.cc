#include "openssl_tool.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace quorvane_testing {
namespace {

// Runs the tool with the password in the environment (no quoting issues, and
// an empty password works); returns its standard output, or nothing when it
// fails.
bool RunPkcs12(const std::string& path, const std::string& password,
               const std::string& options, std::string* output) {
  setenv("QUORVANE_TEST_PASSWORD", password.c_str(), 1);
  const std::string command = "openssl pkcs12 -legacy -in " + ShellQuote(path) +
                              " -passin env:QUORVANE_TEST_PASSWORD " + options +
                              " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return false;
  }
  output->clear();
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    output->append(buffer, n);
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::vector<std::string> PemBlocks(const std::string& text) {
  std::vector<std::string> blocks;
  size_t at = 0;
  while ((at = text.find("-----BEGIN ", at)) != std::string::npos) {
    const size_t end = text.find("-----END ", at);
    if (end == std::string::npos) {
      break;
    }
    const size_t line_end = text.find('\n', end);
    const size_t stop =
        line_end == std::string::npos ? text.size() : line_end + 1;
    blocks.push_back(text.substr(at, stop - at));
    at = stop;
  }
  return blocks;
}

ToolTexts ReadWithOpensslTool(const std::string& path,
                              const std::string& password) {
  ToolTexts texts;
  std::string output;
  if (!RunPkcs12(path, password, "-nocerts -nodes", &output)) {
    return texts;
  }
  const auto keys = PemBlocks(output);
  std::string certs;
  std::string cas;
  if (keys.size() != 1 ||
      !RunPkcs12(path, password, "-nokeys -clcerts", &certs) ||
      !RunPkcs12(path, password, "-nokeys -cacerts", &cas)) {
    return texts;
  }
  const auto cert_blocks = PemBlocks(certs);
  if (cert_blocks.size() != 1) {
    return texts;
  }
  texts.opened = true;
  texts.key_pem = keys[0];
  texts.cert_pem = cert_blocks[0];
  texts.ca_pems = PemBlocks(cas);
  return texts;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                              std::istreambuf_iterator<char>());
}

}  // namespace quorvane_testing
