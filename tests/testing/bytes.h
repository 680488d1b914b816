#ifndef QUORVANE_TESTS_TESTING_BYTES_H_
#define QUORVANE_TESTS_TESTING_BYTES_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane_testing {

// "07 02 68 69" to bytes.
inline std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::istringstream in(text);
  std::string pair;
  while (in >> pair) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  }
  return bytes;
}

inline std::string ToHex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes) {
    if (!text.empty()) {
      text += ' ';
    }
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

// The lines that `run` writes to standard error.
template <typename Function>
std::vector<std::string> StderrLines(Function&& run) {
  testing::internal::CaptureStderr();
  run();
  std::istringstream captured(testing::internal::GetCapturedStderr());
  std::vector<std::string> lines;
  for (std::string line; std::getline(captured, line);) {
    lines.push_back(line);
  }
  return lines;
}

}  // namespace quorvane_testing

#endif  // QUORVANE_TESTS_TESTING_BYTES_H_
