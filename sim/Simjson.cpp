#include "sim/Simjson.h"

#include <cstdio>

SimJson::SimJson() = default;

void SimJson::NewLine() {
  Out += '\n';
  Out.append(First.size() * 2, ' ');
}

void SimJson::BeforeValue() {
  if (AfterKey) {
    AfterKey = false;
    return;
  }
  if (!First.empty()) {
    if (!First.back()) Out += ',';
    First.back() = false;
    NewLine();
  }
}

SimJson& SimJson::Key(const std::string& key) {
  BeforeValue();
  Out += Quote(key) + ": ";
  AfterKey = true;
  return *this;
}

SimJson& SimJson::BeginObject() {
  BeforeValue();
  Out += '{';
  First.push_back(true);
  return *this;
}

SimJson& SimJson::EndObject() {
  bool empty = First.back();
  First.pop_back();
  if (!empty) NewLine();
  Out += '}';
  if (First.empty()) Out += '\n';
  return *this;
}

SimJson& SimJson::BeginArray() {
  BeforeValue();
  Out += '[';
  First.push_back(true);
  return *this;
}

SimJson& SimJson::EndArray() {
  bool empty = First.back();
  First.pop_back();
  if (!empty) NewLine();
  Out += ']';
  return *this;
}

SimJson& SimJson::Value(const std::string& text) {
  BeforeValue();
  Out += Quote(text);
  return *this;
}

SimJson& SimJson::Value(int64_t number) {
  BeforeValue();
  Out += std::to_string(number);
  return *this;
}

SimJson& SimJson::Value(uint64_t number) {
  BeforeValue();
  Out += std::to_string(number);
  return *this;
}

SimJson& SimJson::Value(double number) {
  BeforeValue();
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", number);
  Out += text;
  return *this;
}

SimJson& SimJson::Value(bool flag) {
  BeforeValue();
  Out += flag ? "true" : "false";
  return *this;
}

SimJson& SimJson::Field(const std::string& key, const std::vector<int>& values) {
  Key(key).BeginArray();
  for (int v : values) Value(v);
  return EndArray();
}

SimJson& SimJson::Field(const std::string& key, const std::vector<std::string>& values) {
  Key(key).BeginArray();
  for (const auto& v : values) Value(v);
  return EndArray();
}

std::string SimJson::Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          // Single-byte text: every byte outside printable ASCII as \u00XX.
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}
