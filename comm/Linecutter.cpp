#include "comm/Linecutter.h"

bool TLineCutter::TakeByte(uint8_t b) {
  Buffer[LineLength++] = static_cast<char>(b);
  bool ended = false;
  if (b == '\n') {
    int32_t end = LineLength - 1;
    if (end > 0 && Buffer[end - 1] == '\r') --end;
    EndedLength = end;
    LineLength = 0;
    ended = true;
  }
  // Once 255 characters are stored, further ones overwrite the last place
  // until the LF comes and ends the line after the 255th character (after
  // the 254th when that one is a CR).
  while (LineLength >= BufferSize) --LineLength;
  return ended;
}
