#include "cli/Loglines.h"

std::vector<std::string> TLogLines::Add(const std::string& text) {
  Pending += text;
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = Pending.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = Pending.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  Pending.erase(0, at);
  return lines;
}

std::string TLogLines::TakeRest() {
  std::string rest;
  rest.swap(Pending);
  while (!rest.empty() && rest.back() == '\r') rest.pop_back();
  return rest;
}
