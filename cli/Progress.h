// The progress of a device run on stderr, from the channel's own texts: on a
// terminal one live line with a bar, redrawn at most ten times a second;
// otherwise (a log, a pipe) one line whenever the step changes and at every
// tenth of a part.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

class TProgress {
 public:
  // unitWord names what done and total count ("bytes", "parameters").
  explicit TProgress(FILE* out, const char* unitWord = "bytes");
  bool IsLive() const { return Live; }

  // The channel's state, address and unit texts; done of total bytes of the
  // current part, total 0 or less when there is no such figure.
  void Show(const std::string& state, const std::string& address, const std::string& unit, long done,
            long total);
  // A line of its own; a live line is ended first.
  void Message(const std::string& text);
  // Ends a live line.
  void End();

 private:
  std::string Text(const std::string& state, const std::string& unit, long done, long total) const;

  FILE* Out;
  const char* UnitWord;
  bool Live;
  bool LineOpen = false;
  std::string LastStep;
  long LastTenth = -1;
  std::string Pending;  // a live line not yet drawn (throttled)
  std::chrono::steady_clock::time_point LastDraw{};
};
