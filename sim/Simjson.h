// A small JSON writer for the simulators' summary: objects, arrays, numbers
// and strings, with commas and indentation handled here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SimJson {
 public:
  SimJson();

  // Inside an object every value needs a key first; inside an array none.
  SimJson& Key(const std::string& key);
  SimJson& BeginObject();
  SimJson& EndObject();
  SimJson& BeginArray();
  SimJson& EndArray();
  SimJson& Value(const std::string& text);
  SimJson& Value(const char* text) { return Value(std::string(text)); }
  SimJson& Value(int64_t number);
  SimJson& Value(int number) { return Value(static_cast<int64_t>(number)); }
  SimJson& Value(uint64_t number);
  SimJson& Value(double number);
  SimJson& Value(bool flag);

  // Shorthand for Key(key).Value(value).
  template <typename T>
  SimJson& Field(const std::string& key, const T& value) {
    return Key(key).Value(value);
  }
  SimJson& Field(const std::string& key, const std::vector<int>& values);
  SimJson& Field(const std::string& key, const std::vector<std::string>& values);

  const std::string& Text() const { return Out; }

  static std::string Quote(const std::string& text);

 private:
  void BeforeValue();
  void NewLine();

  std::string Out;
  std::vector<bool> First;  // per open container: nothing written in it yet
  bool AfterKey = false;
};
