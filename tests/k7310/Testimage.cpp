#include "tests/k7310/Testimage.h"

#include <cstdio>
#include <fstream>
#include <random>

void TTestImage::Fill(int processor, int32_t offset, int32_t length, uint64_t seed) {
  std::mt19937_64 random(seed);
  for (int32_t i = 0; i < length; ++i) Cells[PartOffset[processor] + offset + i] = static_cast<int>(random() & 0xFF);
}

void TTestImage::Clear(int processor, int32_t offset, int32_t length) {
  for (int32_t i = 0; i < length; ++i) Cells[PartOffset[processor] + offset + i] = -1;
}

std::vector<uint8_t> TTestImage::Part(int processor) const {
  int32_t used = 0;
  for (int32_t i = 0; i < PartSize[processor]; ++i)
    if (Cells[PartOffset[processor] + i] >= 0) used = i + 1;
  std::vector<uint8_t> bytes(used);
  for (int32_t i = 0; i < used; ++i) {
    const int cell = Cells[PartOffset[processor] + i];
    bytes[i] = cell < 0 ? 0xFF : static_cast<uint8_t>(cell);
  }
  return bytes;
}

namespace {
std::string Record(int type, uint16_t address, const std::vector<uint8_t>& data) {
  char text[16];
  std::string line = ":";
  int sum = static_cast<int>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  std::snprintf(text, sizeof text, "%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
  line += text;
  for (uint8_t b : data) {
    std::snprintf(text, sizeof text, "%02X", b);
    line += text;
    sum += b;
  }
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>((-sum) & 0xFF));
  return line + text + "\r\n";
}
}  // namespace

std::string TTestImage::WriteHex(const std::string& path) const {
  std::string text;
  int segment = -1;
  const uint32_t base = 0x08000000;
  for (int32_t line = 0; line < TotalImageSize; line += 16) {
    int32_t i = line;
    while (i < line + 16) {
      if (Cells[i] < 0) {
        ++i;
        continue;
      }
      const uint32_t address = base + static_cast<uint32_t>(i);
      if (static_cast<int>(address >> 16) != segment) {
        segment = static_cast<int>(address >> 16);
        text += Record(4, 0, {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment)});
      }
      std::vector<uint8_t> data;
      const int32_t first = i;
      while (i < line + 16 && Cells[i] >= 0) data.push_back(static_cast<uint8_t>(Cells[i++]));
      text += Record(0, static_cast<uint16_t>((base + first) & 0xFFFF), data);
    }
  }
  text += ":00000001FF\r\n";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}
