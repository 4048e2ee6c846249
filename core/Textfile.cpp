#include "core/Textfile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

std::vector<std::string> ReadTextLines(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in)
    throw TextFileError("Could not read file \"" + fileName + "\": " + std::strerror(errno));
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw TextFileError("Could not read file \"" + fileName + "\"");
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool last = end == std::string::npos;
    if (last) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.emplace_back(text, start, stop - start);
    start = last ? end : end + 1;
  }
  return lines;
}

void WriteTextLines(const std::string& fileName, const std::vector<std::string>& lines) {
  std::string text;
  size_t total = 0;
  for (const std::string& line : lines) total += line.size() + 2;
  text.reserve(total);
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (!out)
    throw TextFileError("Could not write file \"" + fileName + "\": " + std::strerror(errno));
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) throw TextFileError("Could not write file \"" + fileName + "\"");
}
