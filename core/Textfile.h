// Plain text files read and written line by line.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

class TextFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest text file read: parameter lists and saved total HEX files are
// far smaller.
inline constexpr size_t MaxTextFileBytes = 64 * 1024 * 1024;

// The lines of a text file, without their CR LF or LF ends. Raises
// TextFileError naming the file when it cannot be read or holds more than
// MaxTextFileBytes.
std::vector<std::string> ReadTextLines(const std::string& fileName);
// Writes each line followed by CR LF, replacing the file. Raises
// TextFileError naming the file when it cannot be written.
void WriteTextLines(const std::string& fileName, const std::vector<std::string>& lines);
