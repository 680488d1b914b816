#include "openssl_tool.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform.h"

namespace quorvane_testing {
namespace {

constexpr char kOracleVariable[] = "QUORVANE_OPENSSL_ORACLE";

#if !defined(_WIN32)
// Runs the tool with the password in the environment (no quoting issues, and
// an empty password works); returns its standard output, or nothing when it
// fails.
bool RunPkcs12(const std::string& path, const std::string& password,
               const std::string& options, std::string* output) {
  SetEnvironment("QUORVANE_TEST_PASSWORD", password);
  const std::string command =
      "openssl pkcs12 -legacy -in " + QuoteArgument(path) +
      " -passin env:QUORVANE_TEST_PASSWORD " + options + " 2>" + NullDevice();
  return RunCommand(command, output) == 0;
}

ToolTexts RunTool(const std::string& path, const std::string& password) {
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

#endif

// The record's file: FNV-1a of the container's file name and the password.
std::string RecordPath(const char* folder, const std::string& path,
                       const std::string& password) {
  uint64_t hash = 14695981039346656037u;
  const std::string key =
      std::filesystem::path(path).filename().string() + '\0' + password;
  for (const char c : key) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%016" PRIx64 ".pem", hash);
  return std::string(folder) + "/" + name;
}

#if defined(_WIN32)

ToolTexts Replay(const std::string& file, const std::string& path) {
  ToolTexts texts;
  const auto bytes = ReadFileBytes(file);
  const std::string record(bytes.begin(), bytes.end());
  if (record.rfind("opened\n", 0) != 0 && record.rfind("refused\n", 0) != 0) {
    ADD_FAILURE() << "no openssl answer recorded for " << path << " in " << file
                  << "; run the Linux certificate tests with "
                  << kOracleVariable << " set first";
    return texts;
  }
  auto blocks = PemBlocks(record);
  texts.opened = record[0] == 'o' && blocks.size() >= 2;
  if (texts.opened) {
    texts.key_pem = blocks[0];
    texts.cert_pem = blocks[1];
    texts.ca_pems.assign(blocks.begin() + 2, blocks.end());
  }
  return texts;
}

#else

// A record is "opened" or "refused" on its first line, then the key, the
// certificate and the CA certificates as PEM blocks, in that order.
void Record(const std::string& file, const ToolTexts& texts) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << (texts.opened ? "opened\n" : "refused\n") << texts.key_pem
      << texts.cert_pem;
  for (const auto& ca : texts.ca_pems) {
    out << ca;
  }
}

#endif

}  // namespace

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
  const char* oracle = std::getenv(kOracleVariable);
#if defined(_WIN32)
  if (oracle == nullptr) {
    ADD_FAILURE() << kOracleVariable << " names no folder of recorded answers";
    return ToolTexts();
  }
  return Replay(RecordPath(oracle, path, password), path);
#else
  ToolTexts texts = RunTool(path, password);
  if (oracle != nullptr) {
    std::filesystem::create_directories(oracle);
    Record(RecordPath(oracle, path, password), texts);
  }
  return texts;
#endif
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                              std::istreambuf_iterator<char>());
}

}  // namespace quorvane_testing
