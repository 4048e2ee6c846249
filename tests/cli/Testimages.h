// Firmware images for the command-line tests, made here from seeded random
// bytes, and what a loaded image of them holds, worked out independently of
// the program: the binary from the first cell to the last filled one with
// empty cells as 0xFF, and the second protocol's stamped checksum.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/Hexwriter.h"

std::vector<uint8_t> SeededBytes(size_t count, uint32_t seed);

// Cells 0 to used length - 1 of an image of size cells at base holding the
// chunks (bytes outside the image are left out); empty cells 0xFF.
std::vector<uint8_t> ImageBinary(const std::vector<HexChunk>& chunks, uint32_t base, uint32_t size);

// The checksum the second download protocol's image carries in its cells
// 0x17FFC to 0x17FFF, computed over an image binary (missing cells 0xFF).
uint32_t TrxChecksum(const std::vector<uint8_t>& binary);
// The binary with that checksum stamped in (extended to 0x18000 cells).
std::vector<uint8_t> TrxStamped(std::vector<uint8_t> binary);

// Replaces the two checksum characters of the record on the 1-based line.
std::string DamageChecksum(const std::string& hexText, int line);

// A K7310 part file linked at 0x08000000 (extended linear address 0800),
// with a start linear address record and an end-of-file record, and the same
// part as the total file holds it once moved to slotBase (0808, 0809, 080A).
std::string PartFile(const std::vector<uint8_t>& data, uint32_t slotBase = 0x08000000);

// The bytes as hex for a failure message, at most the first differing ones.
std::string FirstDifference(const std::string& got, const std::string& want);
