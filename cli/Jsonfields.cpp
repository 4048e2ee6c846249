#include "cli/Jsonfields.h"

#include <cstdlib>

namespace {

void SkipBlanks(const std::string& s, size_t& at) {
  while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\r' || s[at] == '\n')) ++at;
}

// A string starting at its opening quote; at ends after the closing one.
bool ReadString(const std::string& s, size_t& at, std::string& out) {
  if (at >= s.size() || s[at] != '"') return false;
  ++at;
  out.clear();
  while (at < s.size()) {
    const char c = s[at++];
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (at >= s.size()) return false;
    const char e = s[at++];
    switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        if (at + 4 > s.size()) return false;
        const long code = std::strtol(s.substr(at, 4).c_str(), nullptr, 16);
        at += 4;
        // The writer escapes single bytes only.
        out += static_cast<char>(code & 0xFF);
        break;
      }
      default: out += e;
    }
  }
  return false;
}

// Any other value: to the comma or brace that ends it at depth 0.
bool SkipValue(const std::string& s, size_t& at) {
  int depth = 0;
  std::string ignored;
  while (at < s.size()) {
    const char c = s[at];
    if (c == '"') {
      if (!ReadString(s, at, ignored)) return false;
      continue;
    }
    if (c == '[' || c == '{') ++depth;
    if (c == ']' || c == '}') {
      if (depth == 0) return true;
      --depth;
    }
    if (c == ',' && depth == 0) return true;
    ++at;
  }
  return false;
}

}  // namespace

bool ReadJsonFields(const std::string& line, std::map<std::string, std::string>& fields) {
  fields.clear();
  size_t at = 0;
  SkipBlanks(line, at);
  if (at >= line.size() || line[at] != '{') return false;
  ++at;
  SkipBlanks(line, at);
  if (at < line.size() && line[at] == '}') return true;
  while (at < line.size()) {
    std::string key;
    SkipBlanks(line, at);
    if (!ReadString(line, at, key)) return false;
    SkipBlanks(line, at);
    if (at >= line.size() || line[at] != ':') return false;
    ++at;
    SkipBlanks(line, at);
    std::string value;
    if (at < line.size() && line[at] == '"') {
      if (!ReadString(line, at, value)) return false;
    } else {
      const size_t from = at;
      if (!SkipValue(line, at)) return false;
      value = line.substr(from, at - from);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    }
    fields[key] = value;
    SkipBlanks(line, at);
    if (at < line.size() && line[at] == ',') {
      ++at;
      continue;
    }
    return at < line.size() && line[at] == '}';
  }
  return false;
}
