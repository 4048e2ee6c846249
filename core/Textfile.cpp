#include "core/Textfile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

std::vector<std::string> ReadTextLines(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in)
    throw TextFileError("Could not read file \"" + fileName + "\": " + std::strerror(errno));
  // Read in pieces and counted: a device or a wrong choice of file has no
  // end, or none worth waiting for.
  std::string text;
  char piece[64 * 1024];
  while (in.read(piece, sizeof piece) || in.gcount() > 0) {
    text.append(piece, static_cast<size_t>(in.gcount()));
    if (text.size() > MaxTextFileBytes)
      throw TextFileError("Could not read file \"" + fileName +
                          "\": it is larger than 64 MiB, far more than a parameter list needs; choose the right file");
  }
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
