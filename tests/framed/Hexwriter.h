// Writing an Intel HEX file from a map of absolute addresses to bytes, for
// the images the download tests load. Written on its own, not with hex/.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

inline std::string HexRecord(int count, uint32_t address, int type, const uint8_t* data) {
  char text[16];
  std::snprintf(text, sizeof text, ":%02X%04X%02X", count, address & 0xFFFF, type);
  std::string line = text;
  int sum = count + ((address >> 8) & 0xFF) + (address & 0xFF) + type;
  for (int i = 0; i < count; ++i) {
    std::snprintf(text, sizeof text, "%02X", data[i]);
    line += text;
    sum += data[i];
  }
  std::snprintf(text, sizeof text, "%02X", (-sum) & 0xFF);
  return line + text;
}

// Data records of at most 16 bytes, each within one 64 KiB segment, with an
// extended linear address record whenever the segment changes.
inline void WriteHexFile(const std::string& path, const std::map<uint32_t, uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  uint32_t segment = 0xFFFFFFFFu;
  auto it = bytes.begin();
  while (it != bytes.end()) {
    const uint32_t start = it->first;
    uint8_t data[16];
    int count = 0;
    while (it != bytes.end() && count < 16 && it->first == start + static_cast<uint32_t>(count) &&
           (it->first >> 16) == (start >> 16)) {
      data[count++] = it->second;
      ++it;
    }
    if ((start >> 16) != segment) {
      segment = start >> 16;
      const uint8_t ext[2] = {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment)};
      out << HexRecord(2, 0, 4, ext) << "\r\n";
    }
    out << HexRecord(count, start, 0, data) << "\r\n";
  }
  out << ":00000001FF\r\n";
}
