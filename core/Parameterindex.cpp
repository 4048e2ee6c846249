#include "core/Parameterindex.h"

#include <algorithm>

#include "core/Parameterline.h"

namespace {

// The rule for one line, given the highest number sent before it; value is
// set for a line that is sent.
TParameterLineUse UseOf(const std::string& line, int32_t highest, std::string& value) {
  TParameterLineUse use;
  use.After = highest;
  std::string description;
  int32_t number = 0;
  if (!ParseParameterLine(line, number, value, description)) return use;
  use.Number = number;
  if (number < 1)
    use.Use = TParameterLineUse::NotParameter;
  else if (number > LargestParameterNumber)
    use.Use = TParameterLineUse::TooLarge;
  else if (number <= highest)
    use.Use = TParameterLineUse::OutOfOrder;
  else
    use.Use = TParameterLineUse::Sent;
  return use;
}

}  // namespace

std::vector<TParameterLineUse> PlanParameterLines(const std::vector<std::string>& lines) {
  std::vector<TParameterLineUse> uses;
  uses.reserve(lines.size());
  int32_t highest = 0;
  std::string value;
  for (const std::string& line : lines) {
    uses.push_back(UseOf(line, highest, value));
    if (uses.back().Use == TParameterLineUse::Sent) highest = uses.back().Number;
  }
  return uses;
}

TParameterIndex::TParameterIndex(const std::vector<std::string>& lines) {
  int32_t highest = 0;
  std::string value;
  for (const std::string& line : lines) {
    const TParameterLineUse use = UseOf(line, highest, value);
    if (use.Use != TParameterLineUse::Sent) continue;
    highest = use.Number;
    Entries.push_back({use.Number, value});
  }
}

bool TParameterIndex::Next(int32_t after, int32_t& number, std::string& value) const {
  // The first line whose number exceeds after is always a sent one: every
  // line before it is at most after, so it is above all of them.
  const auto found =
      std::partition_point(Entries.begin(), Entries.end(), [after](const Entry& e) { return e.Number <= after; });
  if (found == Entries.end()) return false;
  number = found->Number;
  value = found->Value;
  return true;
}
