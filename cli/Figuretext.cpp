#include "cli/Figuretext.h"

#include <cmath>
#include <cstdio>

std::string GroupedNumber(int64_t value) {
  // Digits from the right, a comma before every third; built backwards so
  // that nothing is inserted into the middle of a string.
  uint64_t rest = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string reversed;
  int count = 0;
  do {
    if (count > 0 && count % 3 == 0) reversed.push_back(',');
    reversed.push_back(static_cast<char>('0' + rest % 10));
    rest /= 10;
    ++count;
  } while (rest > 0);
  if (value < 0) reversed.push_back('-');
  return std::string(reversed.rbegin(), reversed.rend());
}

std::string ClockText(double seconds) {
  if (!(seconds >= 0) || !std::isfinite(seconds)) return "--:--";
  const long total = std::lround(seconds);
  char text[32];
  if (total >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds < 0 ? 0.0 : seconds);
  return text;
}

std::string SummaryLine(bool completed, const char* verb, const TRunFigures& figures, const char* unitWord,
                        int partsVerified, int parts) {
  const std::string processors = std::to_string(parts) + (parts == 1 ? " processor" : " processors");
  if (completed) {
    std::string line = std::string(verb) + " " + GroupedNumber(figures.UnitsDone) + " " + unitWord;
    if (parts > 0) line += " in " + processors;
    const long rate = figures.Seconds > 0 ? std::lround(static_cast<double>(figures.UnitsDone) / figures.Seconds) : 0;
    return line + " in " + SecondsText(figures.Seconds) + " (" + GroupedNumber(rate) + " " + unitWord + "/s)";
  }
  std::string line = "not finished: " + GroupedNumber(figures.UnitsDone) + " of " + GroupedNumber(figures.UnitsTotal) +
                     " " + unitWord;
  if (parts > 0) line += ", " + std::to_string(partsVerified) + " of " + processors + " verified";
  return line + ", in " + SecondsText(figures.Seconds);
}
