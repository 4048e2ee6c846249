// The progress of a device run on stderr: on a terminal one live line with
// the overall share over every part, the units done, the rate, the time
// elapsed and the time left, redrawn at most ten times a second; otherwise
// (a log, a pipe) one line whenever the step changes and at every tenth of a
// part. Quiet leaves only errors and the closing line.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/Runmeter.h"

class TProgress {
 public:
  // unitWord names what done and total count ("bytes", "parameters").
  explicit TProgress(FILE* out, const char* unitWord = "bytes");
  bool IsLive() const { return Live && !Quiet; }
  // Only errors and the closing line (-q, and --json, whose progress goes to
  // stdout).
  void SetQuiet(bool quiet) { Quiet = quiet; }

  // The channel's state, address and unit texts; done of total units of the
  // current part, total 0 or less when there is no such figure; the whole
  // run's figures for the live line when known.
  void Show(const std::string& state, const std::string& address, const std::string& unit, long done, long total,
            const TRunFigures* overall = nullptr);
  // A line of its own; a live line is ended first. Not when quiet.
  void Message(const std::string& text);
  // A line of its own even when quiet: errors and the closing line.
  void Error(const std::string& text);
  // Ends a live line.
  void End();

 private:
  std::string PartText(const std::string& state, const std::string& unit, long done, long total) const;
  std::string LiveText(const std::string& state, const std::string& unit, const TRunFigures& overall) const;
  void Put(const std::string& text);

  FILE* Out;
  const char* UnitWord;
  bool Live;
  bool Quiet = false;
  bool LineOpen = false;
  std::string LastStep;
  long LastTenth = -1;
  std::string Pending;  // a live line not yet drawn (throttled)
  std::chrono::steady_clock::time_point LastDraw{};
};
