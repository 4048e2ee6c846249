// Watches one firmware download through the run status the channel
// publishes with its texts after every step: the progress on stderr, the
// events of --json on stdout, the whole run's figures, and how the run
// ended (it has completed once the channel counts one more completed run
// than when it started).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "cli/Clihost.h"
#include "cli/Loglines.h"
#include "cli/Progress.h"
#include "cli/Runmeter.h"

struct TDownloadOutput {
  bool Json = false;     // events on stdout
  bool Quiet = false;    // -q: only errors and the closing line
  bool Verbose = false;  // -v: the log lines as they are written
};

class TDownloadRun {
 public:
  // partUnits: bytes per K7310 processor (index order), or one entry for a
  // single image; partNames name them (empty for a single image).
  TDownloadRun(TCliHost& host, const TDownloadOutput& output, std::vector<int64_t> partUnits,
               std::vector<std::string> partNames);

  // The status hand-over has set a text; the run status was published
  // before it. The end of a run is told at once; the progress line is drawn
  // once the hand-over is complete.
  void TextChanged();
  // A text the channel logged: a failure event (--json), a line on stderr (-v).
  void LogLine(const std::string& text);
  // Time-outs and signals: the run is stopped as the Abort button stops it.
  void Stop(const std::string& why, int code);
  void Start();

  // The run has ended with code (why: the error that ended it, if any): the
  // closing line, and the done event.
  void Finished(int code, const std::string& why);
  TProgress& Output() { return Progress; }

 private:
  void Draw();
  void Observe();  // takes the current run status into the meter and events
  double Seconds() const;

  TCliHost& Host;
  TDownloadOutput Options;
  TProgress Progress;
  // Draws once a hand-over is complete; a draw still queued goes with this.
  THostCall Drawing;
  TRunMeter Meter;
  std::vector<int64_t> PartUnits;
  std::vector<std::string> PartNames;
  TLogLines Lines;
  bool Started = false;
  bool Stopping = false;
  bool DrawPending = false;
  int32_t RunsBefore = 0;
  int LastPart = -2;
  std::chrono::steady_clock::time_point StartTime;
  std::chrono::steady_clock::time_point LastProgressEvent{};
  std::string LastProgressJson;
};
