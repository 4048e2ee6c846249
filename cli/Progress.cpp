#include "cli/Progress.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Whether out is a terminal (a console on Windows), where the bar is redrawn in place.
bool IsTerminal(FILE* out) {
#ifdef _WIN32
  return _isatty(_fileno(out)) != 0;
#else
  return ::isatty(fileno(out)) == 1;
#endif
}

constexpr int BarWidth = 30;
constexpr auto RedrawInterval = std::chrono::milliseconds(100);
}  // namespace

TProgress::TProgress(FILE* out, const char* unitWord)
    : Out(out), UnitWord(unitWord), Live(IsTerminal(out)) {}

std::string TProgress::Text(const std::string& state, const std::string& unit, long done, long total) const {
  std::string text = state;
  if (!unit.empty()) text += "  " + unit;
  if (total > 0 && done >= 0) {
    // A channel may count past the last data (a scan window); show the end.
    if (done > total) done = total;
    const long percent = done * 100 / total;
    if (Live) {
      const long filled = percent * BarWidth / 100;
      text += "  [" + std::string(static_cast<size_t>(filled), '#') +
              std::string(static_cast<size_t>(BarWidth - filled), '.') + "]";
    }
    text += "  " + std::to_string(done) + " of " + std::to_string(total) + " " + UnitWord + " (" +
            std::to_string(percent) + "%)";
  }
  return text;
}

void TProgress::Show(const std::string& state, const std::string& address, const std::string& unit,
                     long done, long total) {
  const std::string step = state + '\n' + unit;
  const long tenth = total > 0 && done >= 0 ? (done >= total ? 10 : done * 10 / total) : -1;
  const bool newStep = step != LastStep;
  if (!Live) {
    if (newStep || tenth != LastTenth) {
      std::fprintf(Out, "%s\n", Text(state, unit, done, total).c_str());
      std::fflush(Out);
    }
  } else {
    // Without a byte count, the channel's address text is still worth showing.
    std::string text = Text(state, unit, done, total);
    if (total <= 0 && !address.empty()) text += "  " + address;
    Pending = text;
    const auto now = std::chrono::steady_clock::now();
    if (newStep || now - LastDraw >= RedrawInterval) {
      std::fprintf(Out, "\r\033[K%s", Pending.c_str());
      std::fflush(Out);
      LineOpen = true;
      LastDraw = now;
      Pending.clear();
    }
  }
  LastStep = step;
  LastTenth = tenth;
}

void TProgress::Message(const std::string& text) {
  End();
  std::fprintf(Out, "%s\n", text.c_str());
  std::fflush(Out);
}

void TProgress::End() {
  if (!LineOpen) return;
  if (!Pending.empty()) std::fprintf(Out, "\r\033[K%s", Pending.c_str());
  std::fprintf(Out, "\n");
  std::fflush(Out);
  LineOpen = false;
  Pending.clear();
}
