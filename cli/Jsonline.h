// One JSON object on one line, as qmss --json writes its events: keys in the
// order added, text escaped so that any byte of the system's single-byte
// texts gives valid JSON (bytes from 0x80 up are read as Latin-1).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TJsonLine {
 public:
  // Starts {"event":"<event>"; an empty event starts an object without it.
  explicit TJsonLine(const std::string& event = "");

  TJsonLine& Text(const std::string& key, const std::string& value);
  TJsonLine& Integer(const std::string& key, int64_t value);
  // Rounded to the given decimals; a negative value is written as null
  // when nullWhenNegative (an unknown figure).
  TJsonLine& Number(const std::string& key, double value, int decimals, bool nullWhenNegative = false);
  TJsonLine& Bool(const std::string& key, bool value);
  TJsonLine& Texts(const std::string& key, const std::vector<std::string>& values);
  // value must already be JSON (an object or array built here).
  TJsonLine& Raw(const std::string& key, const std::string& json);

  // The object without a line end.
  std::string Get() const { return Body + "}"; }
  // The object and a line end to out, flushed.
  void Print(FILE* out = stdout) const;

 private:
  void Key(const std::string& key);
  std::string Body;
  bool First = true;
};

// "text" with JSON escapes.
std::string JsonText(const std::string& text);
