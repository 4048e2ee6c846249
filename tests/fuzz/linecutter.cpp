// The parameter upload's line cutting, fed a byte stream in reads of sizes
// the input chooses, with the partial line dropped after the first read when
// the input asks (a new reception does that). What it delivers must be the
// stream's lines as a plain reading cuts them, however the reads fall.
//
// Input: byte 0 holds the number of size bytes (low 4 bits) and the drop
// flag (bit 4); the size bytes follow (each one read of 1 to 256 bytes, used
// in turn); the rest is the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "comm/Linecutter.h"

namespace {
constexpr size_t MaxLine = static_cast<size_t>(TLineCutter::MaxLineLength);

// The lines that LFs end in bytes, each cut to its first 255 characters and
// then without a CR that ends what is left; bytes after the last LF form no
// line.
void ReferenceLines(const uint8_t* bytes, size_t count, std::vector<std::string>& lines) {
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != '\n') continue;
    std::string line(reinterpret_cast<const char*>(bytes) + start, i - start);
    if (line.size() > MaxLine) line.resize(MaxLine);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = i + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t sizeCount = std::min<size_t>(data[0] & 0x0F, size - 1);
  const bool dropAfterFirstRead = (data[0] & 0x10) != 0;
  const uint8_t* sizes = data + 1;
  const uint8_t* stream = data + 1 + sizeCount;
  const size_t streamSize = size - 1 - sizeCount;

  TLineCutter cutter;
  std::vector<std::string> delivered;
  auto onLine = [&](const std::string& line) {
    if (line.size() > MaxLine) std::abort();
    delivered.push_back(line);
  };
  size_t at = 0;
  size_t firstRead = 0;
  for (size_t read = 0; at < streamSize; ++read) {
    const size_t want = sizeCount ? size_t{sizes[read % sizeCount]} + 1 : 256;
    const size_t n = std::min(want, streamSize - at);
    cutter.Take(stream + at, n, onLine);
    at += n;
    if (cutter.PartialLength() < 0 || cutter.PartialLength() > TLineCutter::MaxLineLength) std::abort();
    if (read == 0 && dropAfterFirstRead) {
      cutter.Reset();
      firstRead = n;
    }
  }

  std::vector<std::string> expected;
  if (dropAfterFirstRead) {
    ReferenceLines(stream, firstRead, expected);
    ReferenceLines(stream + firstRead, streamSize - firstRead, expected);
  } else {
    ReferenceLines(stream, streamSize, expected);
  }
  if (delivered != expected) std::abort();
  return 0;
}
