// The image shapes qmss reads HEX files into, and the four processor ranges
// of a K7310 total image.
#pragma once

#include <cstdint>
#include <string>

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

struct TProcessorRange {
  const char* Name;  // as the download channel shows it
  int32_t Start;
  int32_t Size;
};
inline constexpr TProcessorRange K7310Ranges[4] = {
    {"Main processor", 0x08000000, 0x80000},
    {"Display", 0x08080000, 0x10000},
    {"Loadcell communication", 0x08090000, 0x10000},
    {"Ethernet", 0x080A0000, 0x10000},
};
// U(p): bytes from the range's start through its last filled byte, -1 when none.
int32_t ProcessorUsedLength(const HexFile& image, int processor);

// Where the TRX5170L image checksum lies, and its value (four bytes, least
// significant first) once stamped.
inline constexpr int32_t Trx5170ChecksumAddress = 0xF7FFC;
uint32_t StampedChecksum(const HexFile& image);

// The problems a load report found, one line each, for stderr; empty when clean.
std::string LoadReportLines(const HexLoadReport& report, const std::string& prefix);
