// Builds Intel HEX record lines with correct checksums for the tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline std::string Record(unsigned type, unsigned address, const std::vector<int>& data) {
  char field[16];
  std::string line = ":";
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  std::snprintf(field, sizeof field, "%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
  line += field;
  for (int byte : data) {
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(byte));
    line += field;
    sum += static_cast<unsigned>(byte);
  }
  std::snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return line + field;
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
