#include "tests/support/Hexwriter.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

std::string IntelHexRecord(int type, uint16_t address, const std::vector<uint8_t>& data) {
  char buf[16];
  std::string line = ":";
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) +
                 static_cast<unsigned>(type);
  std::snprintf(buf, sizeof buf, "%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
  line += buf;
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    line += buf;
    sum += b;
  }
  std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  line += buf;
  return line + "\r\n";
}

std::string IntelHex(const std::vector<HexChunk>& chunks, int recordSize, bool ela, bool eof) {
  std::string text;
  long upper = -1;
  for (const HexChunk& chunk : chunks) {
    size_t i = 0;
    while (i < chunk.Data.size()) {
      const uint32_t address = chunk.Address + static_cast<uint32_t>(i);
      if (ela && static_cast<long>(address >> 16) != upper) {
        upper = address >> 16;
        text += IntelHexRecord(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
      }
      // A record never crosses a 64 KiB boundary.
      const size_t room = 0x10000 - (address & 0xFFFF);
      const size_t n = std::min({static_cast<size_t>(recordSize), chunk.Data.size() - i, room});
      text += IntelHexRecord(0, static_cast<uint16_t>(address & 0xFFFF),
                             std::vector<uint8_t>(chunk.Data.begin() + static_cast<long>(i),
                                                  chunk.Data.begin() + static_cast<long>(i + n)));
      i += n;
    }
  }
  if (eof) text += ":00000001FF\r\n";
  return text;
}

std::vector<HexChunk> ChunksOf(const std::map<uint32_t, uint8_t>& bytes) {
  std::vector<HexChunk> chunks;
  for (const auto& [address, byte] : bytes) {
    if (chunks.empty() || chunks.back().Address + chunks.back().Data.size() != address)
      chunks.push_back({address, {}});
    chunks.back().Data.push_back(byte);
  }
  return chunks;
}

std::vector<HexChunk> ChunksOf(uint32_t address, const std::vector<int>& cells) {
  std::vector<HexChunk> chunks;
  bool open = false;
  for (size_t k = 0; k < cells.size(); ++k) {
    if (cells[k] < 0) {
      open = false;
      continue;
    }
    if (!open) chunks.push_back({address + static_cast<uint32_t>(k), {}});
    open = true;
    chunks.back().Data.push_back(static_cast<uint8_t>(cells[k]));
  }
  return chunks;
}

void WriteHexFile(const std::string& path, const std::map<uint32_t, uint8_t>& bytes) {
  WriteTextFile(path, IntelHex(ChunksOf(bytes)));
}

std::string WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  return path;
}
