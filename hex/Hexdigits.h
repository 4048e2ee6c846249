// Hex digits of record lines, read by a table lookup; shared by HexString and
// the record reader so both read a field exactly alike.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace hexdigits {

// Value of each character as a hex digit (either case), -1 for any other.
inline constexpr std::array<int8_t, 256> Table = [] {
  std::array<int8_t, 256> t{};
  t.fill(-1);
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<int8_t>(c - 'a' + 10);
  return t;
}();

// The digit at 1-based position pos, or -1 for a non-hex character and for a
// position outside the line.
inline int DigitAt(std::string_view line, int pos) {
  if (pos < 1 || static_cast<size_t>(pos) > line.size()) return -1;
  return Table[static_cast<unsigned char>(line[static_cast<size_t>(pos) - 1])];
}

// The same digit, reading as 0 where DigitAt gives -1.
inline uint32_t DigitOrZero(std::string_view line, int pos) {
  const int d = DigitAt(line, pos);
  return d < 0 ? 0u : static_cast<uint32_t>(d);
}

// Positions first..last as hex digits, each non-digit or missing position
// reading as 0; 0 when the field is shorter than 1 or longer than 8 digits.
inline uint32_t Field(std::string_view line, int first, int last) {
  const int64_t n = int64_t{last} - first + 1;
  if (n < 1 || n > 8) return 0;
  uint32_t value = 0;
  for (int pos = first; pos <= last; ++pos) value = (value << 4) | DigitOrZero(line, pos);
  return value;
}

}  // namespace hexdigits
