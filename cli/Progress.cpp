#include "cli/Progress.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cmath>

#include "cli/Figuretext.h"

namespace {

// Whether out is a terminal (a console on Windows), where the bar is redrawn in place.
bool IsTerminal(FILE* out) {
#ifdef _WIN32
  return _isatty(_fileno(out)) != 0;
#else
  return ::isatty(fileno(out)) == 1;
#endif
}

constexpr int BarWidth = 24;
constexpr auto RedrawInterval = std::chrono::milliseconds(100);

std::string Bar(double fraction) {
  const int filled = static_cast<int>(fraction * BarWidth);
  return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(BarWidth - filled), '.') +
         "]";
}
}  // namespace

TProgress::TProgress(FILE* out, const char* unitWord)
    : Out(out), UnitWord(unitWord), Live(IsTerminal(out)) {}

std::string TProgress::PartText(const std::string& state, const std::string& unit, long done, long total) const {
  std::string text = state;
  if (!unit.empty()) text += "  " + unit;
  if (total > 0 && done >= 0) {
    // A channel may count past the last data (a scan window); show the end.
    if (done > total) done = total;
    const long percent = done * 100 / total;
    if (Live) text += "  " + Bar(static_cast<double>(done) / static_cast<double>(total));
    text += "  " + std::to_string(done) + " of " + std::to_string(total) + " " + UnitWord + " (" +
            std::to_string(percent) + "%)";
  }
  return text;
}

std::string TProgress::LiveText(const std::string& state, const std::string& unit, const TRunFigures& f) const {
  std::string text = state;
  if (!unit.empty()) text += "  " + unit;
  text += "  " + Bar(f.Fraction) + " " + std::to_string(static_cast<int>(f.Fraction * 100)) + "%  " +
          GroupedNumber(f.UnitsDone) + " of " + GroupedNumber(f.UnitsTotal) + " " + UnitWord + "  " +
          GroupedNumber(std::lround(f.Rate)) + " " + UnitWord + "/s  " + ClockText(f.Seconds) + " elapsed  " +
          ClockText(f.SecondsLeft) + " left";
  return text;
}

void TProgress::Show(const std::string& state, const std::string& address, const std::string& unit, long done,
                     long total, const TRunFigures* overall) {
  if (Quiet) return;
  const std::string step = state + '\n' + unit;
  const long tenth = total > 0 && done >= 0 ? (done >= total ? 10 : done * 10 / total) : -1;
  const bool newStep = step != LastStep;
  if (!Live) {
    if (newStep || tenth != LastTenth) Put(PartText(state, unit, done, total) + "\n");
  } else {
    std::string text;
    if (overall) {
      text = LiveText(state, unit, *overall);
    } else {
      // Without a byte count, the channel's address text is still worth showing.
      text = PartText(state, unit, done, total);
      if (total <= 0 && !address.empty()) text += "  " + address;
    }
    Pending = text;
    const auto now = std::chrono::steady_clock::now();
    if (newStep || now - LastDraw >= RedrawInterval) {
      Put("\r\033[K" + Pending);
      LineOpen = true;
      LastDraw = now;
      Pending.clear();
    }
  }
  LastStep = step;
  LastTenth = tenth;
}

void TProgress::Put(const std::string& text) {
  std::fputs(text.c_str(), Out);
  std::fflush(Out);
}

void TProgress::Message(const std::string& text) {
  if (Quiet) return;
  Error(text);
}

void TProgress::Error(const std::string& text) {
  End();
  Put(text + "\n");
}

void TProgress::End() {
  if (!LineOpen) return;
  if (!Pending.empty()) Put("\r\033[K" + Pending);
  Put("\n");
  LineOpen = false;
  Pending.clear();
}
