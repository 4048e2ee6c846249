// The parameters of a parameter list as the download takes them: the
// accepted lines whose number is 1 to 65535, in list order, each with the
// highest number up to it. The download asks, once per parameter, for the
// first such line whose number is greater than the one just sent; the
// running highest number never falls, so that line is found by a binary
// search instead of a walk through the list from its start, which made a
// long list cost the square of its length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TParameterIndex {
 public:
  // Numbers above this do not fit the protocol's 16-bit field and would
  // write another parameter: such lines do not count.
  static constexpr int32_t LargestNumber = 0xFFFF;

  explicit TParameterIndex(const std::vector<std::string>& lines);

  // The first counting line whose number is greater than after.
  bool Next(int32_t after, int32_t& number, std::string& value) const;

 private:
  struct Entry {
    int32_t Number;
    int32_t Highest;  // of this entry and all before it
    std::string Value;
  };
  std::vector<Entry> Entries;
};
