// The image shapes qmss reads HEX files into, and what qmss reads of a K7310
// total image by the device's memory map (comm/K7310map.h).
#pragma once

#include <cstdint>
#include <string>

#include "comm/K7310map.h"

class HexFile;
struct HexLoadReport;

struct TImageShape {
  const char* Name;  // as given to --image
  int32_t Size;      // cells
  int32_t Base;      // address of cell 0
};

// k7310 (the default), trx5170l, main, part. Null for another name.
const TImageShape* FindImageShape(const std::string& name);
std::string ImageShapeNames();  // "k7310|trx5170l|main|part"

// U(p): bytes from the range's start through its last filled byte, -1 when none.
int32_t ProcessorUsedLength(const HexFile& image, int processor);

// Where the TRX5170L image checksum lies, and its value (four bytes, least
// significant first) once stamped.
inline constexpr int32_t Trx5170ChecksumAddress = 0xF7FFC;
uint32_t StampedChecksum(const HexFile& image);

// The problems a load report found, one line each, for stderr; empty when clean.
std::string LoadReportLines(const HexLoadReport& report, const std::string& prefix);
