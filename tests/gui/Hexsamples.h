// Intel HEX text for the tests: data at a flash address in records of 16
// bytes after an extended linear address record; -1 leaves a cell empty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string HexText(uint32_t address, const std::vector<int>& bytes);
// n bytes 0, 1, 2 ... (mod 256) with the given start value.
std::vector<int> Counting(size_t n, int first = 0);
// Replaces the checksum of the given 1-based line with a wrong one.
std::string WithBadChecksum(const std::string& hexText, int lineNumber);
