// A K7310 total image for tests: 0xB0000 cells from 0x08000000 (-1 empty),
// with the four processors' parts at their fixed places; written out as an
// Intel HEX file for the download view's Open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "comm/K7310map.h"

inline constexpr int32_t TotalImageSize = K7310ImageSize;
// Part offsets and sizes in the total image, for processors 1 to 4.
inline constexpr int32_t PartOffset[5] = {0, K7310Processors[0].RangeStart - K7310FlashBase,
                                          K7310Processors[1].RangeStart - K7310FlashBase,
                                          K7310Processors[2].RangeStart - K7310FlashBase,
                                          K7310Processors[3].RangeStart - K7310FlashBase};
inline constexpr int32_t PartSize[5] = {0, K7310Processors[0].RangeSize, K7310Processors[1].RangeSize,
                                        K7310Processors[2].RangeSize, K7310Processors[3].RangeSize};

struct TTestImage {
  std::vector<int> Cells = std::vector<int>(TotalImageSize, -1);

  // Random bytes (from seed) at offset .. offset + length - 1 of a part.
  void Fill(int processor, int32_t offset, int32_t length, uint64_t seed);
  void Clear(int processor, int32_t offset, int32_t length);
  // What the processor's flash must hold afterwards: the part up to its last
  // filled cell, empty cells as 0xFF.
  std::vector<uint8_t> Part(int processor) const;
  // Writes Intel HEX (16-byte data records, extended linear address records,
  // correct checksums) and returns the path.
  std::string WriteHex(const std::string& path) const;
};
