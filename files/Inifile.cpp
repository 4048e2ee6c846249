// Profile-style INI access. Lines are kept as read; a write changes or inserts
// exactly one line (two for a new section) and rewrites the whole file
// through a temporary file renamed over it, so the file on disk is always
// either the old or the new one.
#include "files/Inifile.h"

#include "files/Fileio.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& text, size_t first, size_t last) {
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

size_t FirstNonBlank(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  return i;
}

// "[name]" with optional blanks around the line and the name.
bool IsSectionLine(const std::string& line, std::string* name) {
  const size_t open = FirstNonBlank(line);
  if (open >= line.size() || line[open] != '[') return false;
  const size_t close = line.find(']', open + 1);
  if (close == std::string::npos) return false;
  if (name != nullptr) *name = Trimmed(line, open + 1, close);
  return true;
}

// "key=value"; blanks around key and value do not count. Comment lines
// (";" or "#" first) and lines without "=" hold no key.
bool IsKeyLine(const std::string& line, std::string& key, std::string* value) {
  const size_t start = FirstNonBlank(line);
  if (start >= line.size() || line[start] == ';' || line[start] == '#' || line[start] == '[') {
    return false;
  }
  const size_t equals = line.find('=', start);
  if (equals == std::string::npos) return false;
  key = Trimmed(line, start, equals);
  if (key.empty()) return false;
  if (value != nullptr) *value = Trimmed(line, equals + 1, line.size());
  return true;
}

int DigitValue(char c, int base) {
  int digit = 99;
  if (c >= '0' && c <= '9') digit = c - '0';
  if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
  return digit < base ? digit : -1;
}

// A value of more than two characters starting with "0x" or "0X" is
// hexadecimal, one starting with "$" too, anything else decimal with an
// optional sign. The whole (trimmed) value must convert and fit 32 bits.
bool ConvertIniInteger(const std::string& text, int32_t& number) {
  size_t i = 0;
  int base = 10;
  bool negative = false;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  } else if (!text.empty() && text[0] == '$') {
    base = 16;
    i = 1;
  } else if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    i = 1;
  }
  if (i >= text.size()) return false;
  const int64_t limit = negative ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MAX};
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) return false;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return false;
  }
  number = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

// Names that would not read back as written are refused.
bool IsWritable(const std::string& section, const std::string& key, const std::string& value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (section.find(']') != std::string::npos) return false;
  if (Trimmed(section, 0, section.size()) != section) return false;
  std::string parsedKey;
  return IsKeyLine(key + "=", parsedKey, nullptr) && parsedKey == key;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const long n = WriteFileBytes(fd, data.data() + done, data.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads the whole file; false when it exists but cannot be read.
bool ReadFileText(const std::string& path, std::string& text, bool& missing) {
  missing = false;
  const int fd = OpenFileForRead(path);
  if (fd < 0) {
    missing = errno == ENOENT;
    return missing;
  }
  char buffer[65536];
  for (;;) {
    const long n = ReadFileBytes(fd, buffer, sizeof buffer);
    if (n < 0) {
      CloseFile(fd);
      text.clear();
      return false;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  CloseFile(fd);
  return true;
}

}  // namespace

TIniFile::TIniFile(std::string path) : FilePath(std::move(path)) {
  std::string text;
  bool missing = false;
  if (!ReadFileText(FilePath, text, missing)) {
    Unreadable = true;
    return;
  }
  // Lines end with LF or CR LF.
  size_t lineCount = 0;
  for (const char c : text) lineCount += c == '\n';
  FileLines.reserve(lineCount + 1);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    FileLines.emplace_back(text, start, end - start);
    start = next;
  }
  std::string name;
  for (size_t i = 0; i < FileLines.size(); ++i) {
    if (IsSectionLine(FileLines[i], &name)) SectionLines.emplace(Lower(name), i);
  }
}

size_t TIniFile::FindSection(const std::string& section) const {
  const auto found = SectionLines.find(Lower(section));
  return found == SectionLines.end() ? NoLine : found->second;
}

size_t TIniFile::FindKey(size_t sectionLine, const std::string& key) const {
  std::string lineKey;
  for (size_t i = sectionLine + 1; i < FileLines.size(); ++i) {
    const std::string& line = FileLines[i];
    if (IsSectionLine(line, nullptr)) break;
    if (IsKeyLine(line, lineKey, nullptr) && SameName(lineKey, key)) return i;
  }
  return NoLine;
}

bool TIniFile::FindValue(const std::string& section, const std::string& key,
                         std::string& value) const {
  const size_t sectionLine = FindSection(section);
  if (sectionLine == NoLine) return false;
  const size_t keyLine = FindKey(sectionLine, key);
  if (keyLine == NoLine) return false;
  std::string lineKey;
  return IsKeyLine(FileLines[keyLine], lineKey, &value);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  std::string value;
  return FindValue(section, key, value) ? value : def;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t def) const {
  std::string text;
  if (!FindValue(section, key, text)) return def;
  int32_t number = def;
  return ConvertIniInteger(text, number) ? number : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> TIniFile::ReadKeys(const std::string& section) const {
  std::vector<std::string> keys;
  const size_t sectionLine = FindSection(section);
  if (sectionLine == NoLine) return keys;
  std::set<std::string> seen;
  std::string key;
  for (size_t i = sectionLine + 1; i < FileLines.size(); ++i) {
    if (IsSectionLine(FileLines[i], nullptr)) break;
    // A repeated key reads as its first line, so it is listed once.
    if (IsKeyLine(FileLines[i], key, nullptr) && seen.insert(Lower(key)).second) {
      keys.push_back(key);
    }
  }
  return keys;
}

void TIniFile::InsertLine(size_t index, const std::string& text) {
  FileLines.insert(FileLines.begin() + static_cast<std::ptrdiff_t>(index), text);
  for (auto& entry : SectionLines) {
    if (entry.second >= index) ++entry.second;
  }
}

void TIniFile::EraseLine(size_t index) {
  FileLines.erase(FileLines.begin() + static_cast<std::ptrdiff_t>(index));
  for (auto& entry : SectionLines) {
    if (entry.second > index) --entry.second;
  }
}

bool TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  if (Unreadable || !IsWritable(section, key, value)) return false;

  const size_t sectionLine = FindSection(section);
  if (sectionLine == NoLine) {
    // A new section goes to the end of the file.
    const size_t header = FileLines.size();
    FileLines.push_back("[" + section + "]");
    FileLines.push_back(key + "=" + value);
    SectionLines.emplace(Lower(section), header);
    if (Save()) return true;
    FileLines.resize(header);
    SectionLines.erase(Lower(section));
    return false;
  }

  const size_t keyLine = FindKey(sectionLine, key);
  if (keyLine != NoLine) {
    // In place, keeping the key as the file spells it.
    std::string fileKey;
    IsKeyLine(FileLines[keyLine], fileKey, nullptr);
    std::string old = std::move(FileLines[keyLine]);
    FileLines[keyLine] = fileKey + "=" + value;
    if (Save()) return true;
    FileLines[keyLine] = std::move(old);
    return false;
  }

  // A new key goes after the last key line of its section (blank lines and
  // comments that lead into the next section stay in front of it).
  size_t insertAt = sectionLine + 1;
  std::string lineKey;
  for (size_t i = sectionLine + 1; i < FileLines.size(); ++i) {
    if (IsSectionLine(FileLines[i], nullptr)) break;
    if (IsKeyLine(FileLines[i], lineKey, nullptr)) insertAt = i + 1;
  }
  InsertLine(insertAt, key + "=" + value);
  if (Save()) return true;
  EraseLine(insertAt);
  return false;
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::Save() const {
  // A symbolic link keeps pointing at the file it names: the target is
  // replaced, not the link.
  const std::string target = ResolvedPath(FilePath);

  size_t size = 0;
  for (const std::string& line : FileLines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : FileLines) {
    text += line;
    text += "\r\n";
  }

  const std::string temp = target + ".~" + std::to_string(CurrentProcessId());
  RemoveFile(temp);  // a leftover of a crashed run of the same pid
  const int fd = CreateNewFile(temp);
  if (fd < 0) return false;
  CopyFileMode(fd, target);
  bool ok = WriteAll(fd, text) && SyncFile(fd);
  ok = CloseFile(fd) && ok;
  ok = ok && ReplaceFileWith(temp, target);
  if (!ok) RemoveFile(temp);
  return ok;
}
