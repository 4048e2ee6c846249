#include "core/Parameterindex.h"

#include <algorithm>

#include "core/Parameterline.h"

TParameterIndex::TParameterIndex(const std::vector<std::string>& lines) {
  int32_t highest = 0;
  std::string description;
  for (const std::string& line : lines) {
    int32_t number = 0;
    std::string value;
    if (!ParseParameterLine(line, number, value, description)) continue;
    if (number < 1 || number > LargestNumber) continue;
    highest = std::max(highest, number);
    Entries.push_back({number, highest, std::move(value)});
  }
}

bool TParameterIndex::Next(int32_t after, int32_t& number, std::string& value) const {
  // The first entry whose running highest exceeds after is the first whose
  // own number does: every entry before it is at most after.
  const auto found =
      std::partition_point(Entries.begin(), Entries.end(), [after](const Entry& e) { return e.Highest <= after; });
  if (found == Entries.end()) return false;
  number = found->Number;
  value = found->Value;
  return true;
}
