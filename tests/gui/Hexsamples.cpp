#include "tests/gui/Hexsamples.h"

#include <sstream>

#include "tests/support/Hexwriter.h"

std::string HexText(uint32_t address, const std::vector<int>& bytes) { return IntelHex(ChunksOf(address, bytes)); }

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
