#include "tests/k7310/Testimage.h"

#include <random>

#include "tests/support/Hexwriter.h"

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

std::string TTestImage::WriteHex(const std::string& path) const {
  return WriteTextFile(path, IntelHex(ChunksOf(K7310FlashBase, Cells)));
}
