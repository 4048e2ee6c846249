// The INI file: profile semantics (sections and keys without regard to case,
// a written value replaces the old one in place, a new key goes to the end of
// its section, a new section to the end of the file). Every write reaches the
// file at once; an object reads the file when it is created and keeps nothing
// beyond its own life, so each user opens it for its own use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <map>
#include <vector>

class TIniFile {
 public:
  explicit TIniFile(std::string path);

  const std::string& Path() const { return FilePath; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // "0x"/"0X" prefix (value longer than two characters) or "$" prefix: hex;
  // otherwise decimal; a missing key or an unconvertible value gives def.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // Each write rewrites the file; false when it could not be written.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, int32_t value);
  bool WriteBool(const std::string& section, const std::string& key, bool value);

  // The keys of a section in file order (for sections of free keys, "PORTS").
  std::vector<std::string> ReadKeys(const std::string& section) const;

 private:
  static constexpr size_t NoLine = static_cast<size_t>(-1);

  size_t FindSection(const std::string& section) const;
  size_t FindKey(size_t sectionLine, const std::string& key) const;
  bool FindValue(const std::string& section, const std::string& key, std::string& value) const;
  void InsertLine(size_t index, const std::string& text);
  void EraseLine(size_t index);
  bool Save() const;

  std::string FilePath;
  std::vector<std::string> FileLines;  // the file as read, updated by writes
  // Lower-case section name -> line of its first header, so that a look-up
  // does not scan the whole file. A tree, not a hash table: a hostile file
  // cannot make it slow with colliding names.
  std::map<std::string, size_t> SectionLines;
  // The file exists but could not be read: writes are refused rather than
  // replacing it with a file that holds only the new keys.
  bool Unreadable = false;
};
