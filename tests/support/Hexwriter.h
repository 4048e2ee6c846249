// Writes Intel HEX text for test fixtures: data records of a given size with
// extended linear address records where the upper 16 bits change, and an
// end-of-file record.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct HexChunk {
  uint32_t Address;
  std::vector<uint8_t> Data;
};

std::string IntelHexRecord(int type, uint16_t address, const std::vector<uint8_t>& data);
// Each chunk at its absolute address; ela false writes no type 04 records.
std::string IntelHex(const std::vector<HexChunk>& chunks, int recordSize = 16, bool ela = true,
                     bool eof = true);
// The same from other shapes of data: contiguous runs of a map of absolute
// addresses to bytes; cells from address on, -1 leaving a cell empty.
std::vector<HexChunk> ChunksOf(const std::map<uint32_t, uint8_t>& bytes);
std::vector<HexChunk> ChunksOf(uint32_t address, const std::vector<int>& cells);
// Writes Intel HEX of the bytes (16-byte records) to a file.
void WriteHexFile(const std::string& path, const std::map<uint32_t, uint8_t>& bytes);
// Writes text to a file; returns the path.
std::string WriteTextFile(const std::string& path, const std::string& text);
