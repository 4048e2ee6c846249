// Builds Intel HEX record lines with correct checksums for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/Hexwriter.h"

// One record line (no line end) through the tests' one HEX writer.
inline std::string Record(unsigned type, unsigned address, const std::vector<int>& data) {
  std::vector<uint8_t> bytes;
  for (int byte : data) bytes.push_back(static_cast<uint8_t>(byte));
  std::string line = IntelHexRecord(static_cast<int>(type), static_cast<uint16_t>(address), bytes);
  return line.substr(0, line.size() - 2);
}

inline std::string DataRecord(unsigned address, const std::vector<int>& data) { return Record(0x00, address, data); }

// n bytes first, first+1, ... (mod 256).
inline std::vector<int> Bytes(int first, int n) {
  std::vector<int> bytes;
  for (int i = 0; i < n; ++i) bytes.push_back((first + i) & 0xFF);
  return bytes;
}

inline std::string JoinLines(const std::vector<std::string>& lines, const char* lineEnd = "\r\n") {
  std::string text;
  for (const auto& line : lines) text += line + lineEnd;
  return text;
}
