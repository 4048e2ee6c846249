#include "comm/Linesettings.h"

#include <cctype>
#include <cstring>

namespace {

// Takes the literal text at pos; advances pos on a match.
bool Expect(const std::string& text, size_t& pos, const char* literal) {
  size_t length = std::strlen(literal);
  if (text.compare(pos, length, literal) != 0) return false;
  pos += length;
  return true;
}

// A decimal number of at most 9 digits (no sign, as "%ld" writes a baud rate).
bool TakeNumber(const std::string& text, size_t& pos, long& value) {
  size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (pos - start >= 9) return false;
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return pos > start;
}

}  // namespace

bool ParseLineSettings(const std::string& text, LineSettings& settings) {
  size_t pos = 0;
  long baud = 0;
  if (!Expect(text, pos, "baud=") || !TakeNumber(text, pos, baud) || !Expect(text, pos, " parity=") ||
      pos >= text.size())
    return false;
  const char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(text[pos++])));
  if (!Expect(text, pos, " data=8 stop=1") || pos != text.size()) return false;
  if (baud <= 0 || std::strchr("NEOMS", parity) == nullptr || parity == 0) return false;
  settings.BaudRate = static_cast<int32_t>(baud);
  settings.Parity = parity;
  return true;
}
