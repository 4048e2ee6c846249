// The memory map of a K7310 device: its four processors in programming order,
// each with the range of the combined image its part is loaded from and the
// flash page size its boot loader erases. Every processor's part is linked at
// the flash base; the combined (total) image places them one after the other.
#pragma once

#include <cstdint>

struct K7310Processor {
  const char* Name;    // as the download shows it
  int32_t RangeStart;  // where its part lies in the combined image
  int32_t RangeSize;
  int32_t PageSize;
};

inline constexpr int32_t K7310FlashBase = 0x08000000;
inline constexpr int K7310ProcessorCount = 4;
inline constexpr K7310Processor K7310Processors[K7310ProcessorCount] = {
    {"Main processor", 0x08000000, 0x80000, 2048},
    {"Display", 0x08080000, 0x10000, 1024},
    {"Loadcell communication", 0x08090000, 0x10000, 1024},
    {"Ethernet", 0x080A0000, 0x10000, 1024},
};
// The combined image: from the flash base through the end of the last part.
inline constexpr int32_t K7310ImageSize =
    K7310Processors[K7310ProcessorCount - 1].RangeStart + K7310Processors[K7310ProcessorCount - 1].RangeSize -
    K7310FlashBase;
static_assert(K7310ImageSize == 0xB0000);
