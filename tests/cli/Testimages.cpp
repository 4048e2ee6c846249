#include "tests/cli/Testimages.h"

#include <algorithm>
#include <cstdio>
#include <random>

std::vector<uint8_t> SeededBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

std::vector<uint8_t> ImageBinary(const std::vector<HexChunk>& chunks, uint32_t base, uint32_t size) {
  std::vector<int> cells(size, -1);
  for (const HexChunk& chunk : chunks)
    for (size_t i = 0; i < chunk.Data.size(); ++i) {
      const uint64_t address = uint64_t{chunk.Address} + i;
      if (address >= base && address < uint64_t{base} + size) cells[address - base] = chunk.Data[i];
    }
  size_t used = 0;
  for (size_t i = 0; i < cells.size(); ++i)
    if (cells[i] >= 0) used = i + 1;
  std::vector<uint8_t> binary(used);
  for (size_t i = 0; i < used; ++i) binary[i] = cells[i] < 0 ? 0xFF : static_cast<uint8_t>(cells[i]);
  return binary;
}

uint32_t TrxChecksum(const std::vector<uint8_t>& binary) {
  auto cell = [&](size_t i) -> uint32_t { return i < binary.size() ? binary[i] : 0xFF; };
  uint32_t sumA = 0, sumB = 0;
  for (size_t i = 0; i < 0x10000; i += 2) sumA = (sumA + cell(i) + 256 * cell(i + 1)) & 0xFFFF;
  for (size_t i = 0x10000; i < 0x17FFC; i += 2) sumB = (sumB + cell(i) + 256 * cell(i + 1)) & 0xFFFF;
  return ((sumB << 16) | sumA) ^ 0x55AA55AAu;
}

std::vector<uint8_t> TrxStamped(std::vector<uint8_t> binary) {
  const uint32_t value = TrxChecksum(binary);
  if (binary.size() < 0x18000) binary.resize(0x18000, 0xFF);
  for (int i = 0; i < 4; ++i) binary[0x17FFC + i] = static_cast<uint8_t>(value >> (8 * i));
  return binary;
}

std::string DamageChecksum(const std::string& hexText, int line) {
  std::string text = hexText;
  size_t start = 0;
  for (int n = 1; n < line; ++n) start = text.find('\n', start) + 1;
  size_t end = text.find('\r', start);
  // The last two characters before CR LF are the checksum; flip one bit.
  char& c = text[end - 1];
  c = c == '0' ? '1' : '0';
  return text;
}

std::string PartFile(const std::vector<uint8_t>& data, uint32_t slotBase) {
  const auto b = [&](int shift) { return static_cast<uint8_t>(slotBase >> shift); };
  return IntelHex({{slotBase, data}}, 16, true, false) + IntelHexRecord(5, 0, {b(24), b(16), b(8), b(0)}) +
         IntelHexRecord(1, 0, {});
}

std::string FirstDifference(const std::string& got, const std::string& want) {
  if (got == want) return "equal";
  size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  char text[160];
  std::snprintf(text, sizeof text, "sizes %zu and %zu, first difference at offset %zu (0x%zX)", got.size(),
                want.size(), at, at);
  return text;
}
