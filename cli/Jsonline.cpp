#include "cli/Jsonline.h"

#include <cmath>

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20 || byte >= 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", byte);
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

TJsonLine::TJsonLine(const std::string& event) : Body("{") {
  if (!event.empty()) Text("event", event);
}

void TJsonLine::Key(const std::string& key) {
  if (!First) Body += ',';
  First = false;
  Body += JsonText(key) + ':';
}

TJsonLine& TJsonLine::Text(const std::string& key, const std::string& value) {
  Key(key);
  Body += JsonText(value);
  return *this;
}

TJsonLine& TJsonLine::Integer(const std::string& key, int64_t value) {
  Key(key);
  Body += std::to_string(value);
  return *this;
}

TJsonLine& TJsonLine::Number(const std::string& key, double value, int decimals, bool nullWhenNegative) {
  Key(key);
  if (!std::isfinite(value) || (nullWhenNegative && value < 0)) {
    Body += "null";
    return *this;
  }
  char figure[64];
  std::snprintf(figure, sizeof figure, "%.*f", decimals, value);
  Body += figure;
  return *this;
}

TJsonLine& TJsonLine::Bool(const std::string& key, bool value) {
  Key(key);
  Body += value ? "true" : "false";
  return *this;
}

TJsonLine& TJsonLine::Texts(const std::string& key, const std::vector<std::string>& values) {
  std::string array = "[";
  for (size_t i = 0; i < values.size(); ++i) array += (i ? "," : "") + JsonText(values[i]);
  return Raw(key, array + "]");
}

TJsonLine& TJsonLine::Raw(const std::string& key, const std::string& json) {
  Key(key);
  Body += json;
  return *this;
}

void TJsonLine::Print(FILE* out) const {
  std::fprintf(out, "%s\n", Get().c_str());
  std::fflush(out);
}
