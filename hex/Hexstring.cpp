#include <cstdio>
#include <utility>

#include "hex/Hexdigits.h"
#include "hex/Hexfile.h"

HexString::HexString(std::string line) : Line(std::move(line)) {}

int32_t HexString::HexValue(int first, int last) const {
  // Eight digits fill all 32 bits; 0x80000000 and up keep their bit pattern.
  return static_cast<int32_t>(hexdigits::Field(Line, first, last));
}

void HexString::SetHexValue(int first, int last, int32_t value) {
  const int width = last >= first ? last - first + 1 : 0;
  char text[24];
  std::snprintf(text, sizeof text, "%0*X", width, static_cast<unsigned>(value));

  // A line that ends before the field is padded with '0', which reads the
  // same as the missing positions did, so the new digits land at their
  // position instead of being glued to the end of a short line.
  const size_t start = first > 1 ? static_cast<size_t>(first) - 1 : 0;
  if (Line.size() < start) Line.resize(start, '0');
  const size_t after = last > 0 ? static_cast<size_t>(last) : 0;
  std::string rewritten = Line.substr(0, start);
  rewritten += text;
  if (after < Line.size()) rewritten.append(Line, after, std::string::npos);
  Line = std::move(rewritten);
}
