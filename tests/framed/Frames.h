// Building and taking apart command frames on the device side of the tests,
// written independently of the channels' frame code.
#pragma once

#include <cstdint>
#include <vector>

// 0x02, N + 3, 0xD0, command, data, XOR of all bytes before.
inline std::vector<uint8_t> MakeFrame(uint8_t command, const std::vector<uint8_t>& data,
                                      uint8_t address = 0xD0) {
  std::vector<uint8_t> f = {0x02, static_cast<uint8_t>(data.size() + 3), address, command};
  for (uint8_t b : data) f.push_back(b);  // (an insert here trips a false bounds warning of GCC 12)
  uint8_t x = 0;
  for (uint8_t b : f) x ^= b;
  f.push_back(x);
  return f;
}

struct WireFrame {
  uint8_t Command = 0;
  std::vector<uint8_t> Data;
};

// The frames in a byte stream the host sent (the host sends nothing else):
// each frame's command and data; bytes that do not start a whole frame with
// a correct check byte are skipped one by one.
inline std::vector<WireFrame> SplitFrames(const std::vector<uint8_t>& bytes) {
  std::vector<WireFrame> frames;
  size_t i = 0;
  while (i + 5 <= bytes.size()) {
    const size_t n = bytes[i + 1] >= 3 ? bytes[i + 1] - 3u : 0u;
    if (bytes[i] != 0x02 || i + n + 5 > bytes.size()) {
      ++i;
      continue;
    }
    uint8_t x = 0;
    for (size_t k = i; k < i + n + 5; ++k) x ^= bytes[k];
    if (x != 0) {
      ++i;
      continue;
    }
    frames.push_back({bytes[i + 3], std::vector<uint8_t>(bytes.begin() + i + 4, bytes.begin() + i + 4 + n)});
    i += n + 5;
  }
  return frames;
}
