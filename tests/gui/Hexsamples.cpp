#include "tests/gui/Hexsamples.h"

#include <cstdio>
#include <sstream>

namespace {

std::string Record(int type, uint32_t offset, const std::vector<uint8_t>& data) {
  char text[16];
  unsigned sum = static_cast<unsigned>(data.size()) + ((offset >> 8) & 0xFF) + (offset & 0xFF) + static_cast<unsigned>(type);
  std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(data.size()), offset & 0xFFFF, type);
  std::string line = text;
  for (uint8_t b : data) {
    std::snprintf(text, sizeof text, "%02X", b);
    line += text;
    sum += b;
  }
  std::snprintf(text, sizeof text, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return line + text + "\r\n";
}

}  // namespace

std::string HexText(uint32_t address, const std::vector<int>& bytes) {
  std::string text;
  uint32_t upper = ~0u;  // the upper 16 bits the last extended linear address record set
  auto data = [&](uint32_t at, const std::vector<uint8_t>& chunk) {
    if (chunk.empty()) return;
    if ((at >> 16) != upper) {
      upper = at >> 16;
      text += Record(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
    }
    text += Record(0, at & 0xFFFF, chunk);
  };
  // Records of up to 16 bytes that never cross a 64 KiB boundary.
  std::vector<uint8_t> chunk;
  uint32_t chunkStart = address;
  for (size_t k = 0; k < bytes.size(); ++k) {
    const uint32_t at = address + static_cast<uint32_t>(k);
    if (bytes[k] < 0 || chunk.size() == 16 || (!chunk.empty() && (at & 0xFFFF) == 0)) {
      data(chunkStart, chunk);
      chunk.clear();
    }
    if (bytes[k] < 0) continue;
    if (chunk.empty()) chunkStart = at;
    chunk.push_back(static_cast<uint8_t>(bytes[k]));
  }
  data(chunkStart, chunk);
  return text + Record(1, 0, {});
}

std::vector<int> Counting(size_t n, int first) {
  std::vector<int> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<int>((first + i) & 0xFF);
  return bytes;
}

std::string WithBadChecksum(const std::string& hexText, int lineNumber) {
  std::istringstream in(hexText);
  std::string line, out;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (n == lineNumber && line.size() >= 2) line.replace(line.size() - 2, 2, line.substr(line.size() - 2) == "00" ? "01" : "00");
    out += line + "\r\n";
  }
  return out;
}
