#include "tests/soak/Soakcase.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

uint64_t SoakBetween(std::mt19937_64& random, uint64_t low, uint64_t high) {
  return std::uniform_int_distribution<uint64_t>(low, high)(random);
}

std::string SoakWriteFile(const std::string& folder, const std::string& name, const std::string& bytes) {
  const std::string path = folder + "/" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  return path;
}

std::string SoakFirstDifference(const std::string& what, const std::vector<uint8_t>& expected,
                                const std::vector<uint8_t>& actual, uint32_t base) {
  const size_t common = std::min(expected.size(), actual.size());
  for (size_t i = 0; i < common; ++i) {
    if (expected[i] == actual[i]) continue;
    char text[160];
    std::snprintf(text, sizeof text, "%s differs at 0x%X: 0x%02X instead of 0x%02X", what.c_str(),
                  static_cast<unsigned>(base + i), actual[i], expected[i]);
    return text;
  }
  if (expected.size() != actual.size())
    return what + " holds " + std::to_string(actual.size()) + " bytes instead of " + std::to_string(expected.size());
  return {};
}

std::unique_ptr<SoakCase> MakeSoakCase(SimKind kind, std::mt19937_64& random) {
  switch (kind) {
    case SimKind::K7310: return MakeK7310Case(random);
    case SimKind::Trx5170l: return MakeTrx5170Case(random);
    case SimKind::Params: return MakeParamsCase(random);
    default: return nullptr;
  }
}
