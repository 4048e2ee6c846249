// Large hostile files for the tests, written in pieces so that making them
// does not itself raise the test's memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Writes what next() returns again and again until the file holds at least
// bytes bytes; returns the size written. next gets the piece number.
int64_t WriteRepeated(const std::string& path, int64_t bytes, const std::function<std::string(int64_t)>& next);
// Writes count random bytes (all 256 values, NUL included) from seed.
void WriteRandomBytes(const std::string& path, int64_t count, uint32_t seed);
