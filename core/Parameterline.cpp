// Parameter text lines. Stored parameter files rely on every detail of the
// rules below, odd ones included (the character dropped before the last colon
// of the long form, the line's last character never ending a number), so they
// are kept exactly.
#include "core/Parameterline.h"

#include <cstddef>
#include <limits>

namespace {

// Description and value are at most this long; a longer text keeps its first
// MaxFieldLength characters (after trimming).
constexpr size_t MaxFieldLength = 255;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Trims blanks and control characters at both ends, as a Pascal Trim does.
std::string Trimmed(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string Field(const std::string& text) {
  std::string field = Trimmed(text);
  if (field.size() > MaxFieldLength) field.resize(MaxFieldLength);
  return field;
}

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The number text converted, or -1 when it does not convert.
int32_t NumberOrMinusOne(const std::string& text) {
  int32_t number = -1;
  if (!ConvertParameterNumber(text, number)) number = -1;
  return number;
}

}  // namespace

// Whole-text conversion: leading blanks (space, tab), an optional sign, an
// optional "$" or "0x"/"0X" hex prefix, then at least one digit and nothing
// else. A value outside the signed 32-bit range does not convert. number is
// left unchanged when the text does not convert.
bool ConvertParameterNumber(const std::string& text, int32_t& number) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;

  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }

  bool hex = false;
  if (i < n && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;

  // Accumulated as a magnitude; the limit is one more for negative numbers.
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  const int base = hex ? 16 : 10;
  int64_t magnitude = 0;
  for (; i < n; ++i) {
    const int digit = DigitValue(text[i], hex);
    if (digit < 0) return false;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return false;
  }
  number = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

bool ParseParameterLine(const std::string& line, int32_t& number, std::string& value,
                        std::string& description) {
  description.clear();
  const size_t n = line.size();

  const size_t par = line.find("Par.");
  if (par != std::string::npos) {
    // Long form. The text searched for the colon ending the number starts
    // right after "Par." and stops before the line's last character, so a
    // colon that ends the line never ends the number.
    const size_t restStart = par + 4;
    const size_t restEnd = n > restStart ? n - 1 : restStart;
    const size_t colon = line.find(':', restStart);
    if (colon == std::string::npos || colon >= restEnd) return false;

    number = NumberOrMinusOne(line.substr(restStart, colon - restStart));

    // The description runs from after the first colon to two characters
    // before the last colon: the character just before it is dropped.
    const size_t lastColon = line.rfind(':');
    const size_t descStart = colon + 1;
    const size_t descEnd = lastColon - 1;  // lastColon >= colon > 0
    description = descEnd > descStart ? Field(line.substr(descStart, descEnd - descStart)) : "";
    value = Field(line.substr(lastColon + 1));
    return number > 0;
  }

  // Short form: number ":" value.
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return false;
  number = NumberOrMinusOne(Trimmed(line.substr(0, colon)));
  if (number <= 0) return false;
  value = Field(line.substr(colon + 1));
  return true;
}
