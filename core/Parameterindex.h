// The parameters of a parameter list as the download takes them, and the one
// rule for which lines it sends: in list order, an accepted line whose number
// is 1 to 65535 and above every number sent before it. Numbers above 65535 do
// not fit the protocol's 16-bit field and would write another parameter; a
// number not above the last one sent is passed over (the download always asks
// for the next higher number).
//
// The download asks, once per parameter, for the first sent line whose number
// is greater than the one just sent; the numbers rise, so that line is found
// by a binary search instead of a walk through the list from its start, which
// made a long list cost the square of its length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How the download treats one line of a parameter list.
struct TParameterLineUse {
  enum Kind : uint8_t {
    NotParameter,  // not a parameter line, or a number below 1
    Sent,
    TooLarge,      // number above LargestParameterNumber
    OutOfOrder,    // number not above the one sent before it
  };
  Kind Use = NotParameter;
  int32_t Number = 0;  // the line's number, where it has one
  int32_t After = 0;   // the highest number sent before the line (0: none)
};

inline constexpr int32_t LargestParameterNumber = 0xFFFF;

// One entry per line, in list order.
std::vector<TParameterLineUse> PlanParameterLines(const std::vector<std::string>& lines);

class TParameterIndex {
 public:
  static constexpr int32_t LargestNumber = LargestParameterNumber;

  explicit TParameterIndex(const std::vector<std::string>& lines);

  // The first sent line whose number is greater than after.
  bool Next(int32_t after, int32_t& number, std::string& value) const;
  // How many lines a run sends.
  int32_t Count() const { return static_cast<int32_t>(Entries.size()); }

 private:
  struct Entry {
    int32_t Number;  // rising
    std::string Value;
  };
  std::vector<Entry> Entries;
};
