#include "tests/hostile/Hostilefiles.h"

#include <fstream>
#include <random>
#include <stdexcept>

int64_t WriteRepeated(const std::string& path, int64_t bytes, const std::function<std::string(int64_t)>& next) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string buffer;
  int64_t written = 0;
  for (int64_t n = 0; written < bytes; ++n) {
    const std::string piece = next(n);
    if (piece.empty()) throw std::logic_error("WriteRepeated: an empty piece never fills the file");
    buffer += piece;
    written += static_cast<int64_t>(piece.size());
    if (buffer.size() >= (1 << 20)) {
      out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      buffer.clear();
    }
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  if (!out) throw std::runtime_error("Could not write " + path);
  return written;
}

void WriteRandomBytes(const std::string& path, int64_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string buffer;
  for (int64_t i = 0; i < count; ++i) {
    buffer.push_back(static_cast<char>(random() & 0xFF));
    if (buffer.size() >= (1 << 20)) {
      out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      buffer.clear();
    }
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  if (!out) throw std::runtime_error("Could not write " + path);
}
