// Cuts a received byte stream into text lines: LF ends a line, a CR just
// before the LF is dropped with it, and a line keeps its first 255
// characters. A line may arrive over any number of reads; the partial line
// waits in a buffer of fixed size, so a device that never sends an LF costs
// no more memory than a short line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TLineCutter {
 public:
  static constexpr int32_t BufferSize = 256;
  static constexpr int32_t MaxLineLength = BufferSize - 1;

  // Takes the bytes of one read in order and calls onLine(const std::string&)
  // for each line they end, at once.
  template <typename OnLine>
  void Take(const uint8_t* bytes, size_t count, OnLine&& onLine) {
    for (size_t i = 0; i < count; ++i)
      if (TakeByte(bytes[i])) onLine(std::string(Buffer, static_cast<size_t>(EndedLength)));
  }

  // Drops a partial line.
  void Reset() { LineLength = 0; }
  // Characters of the partial line kept so far (0 to 255).
  int32_t PartialLength() const { return LineLength; }

 private:
  // Stores b; true when it was the LF that ended a line of EndedLength
  // characters (then still at the start of Buffer).
  bool TakeByte(uint8_t b);

  char Buffer[BufferSize] = {};
  int32_t LineLength = 0;
  int32_t EndedLength = 0;
};
