#include "comm/Wiretime.h"

int BitsPerByte(char parity) { return parity == 'N' || parity == 'n' ? 10 : 11; }

std::chrono::microseconds WireTime(size_t count, int32_t baudRate, char parity) {
  if (baudRate <= 0) return std::chrono::microseconds(0);
  const int64_t bits = static_cast<int64_t>(count) * BitsPerByte(parity);
  return std::chrono::microseconds((bits * 1000000 + baudRate - 1) / baudRate);
}

int WireTimeMs(size_t count, int32_t baudRate, char parity) {
  const int64_t us = WireTime(count, baudRate, parity).count();
  return static_cast<int>((us + 999) / 1000);
}
