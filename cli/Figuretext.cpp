#include "cli/Figuretext.h"

#include <cmath>
#include <cstdio>

std::string GroupedNumber(int64_t value) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? -value : value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
  return negative ? "-" + digits : digits;
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
