// How the last run ended, kept from the run statuses the channels publish:
// what the download view shows once the run is over (done, failed, stopped),
// and the figures of the line the log gets when a run ends. It outlives the
// channel: after a port error the rebuilt channel starts with no history, and
// the run's outcome must still show. The view clears it at the next Open,
// Download or change of operation.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include "comm/Runstatus.h"

struct TRunEnd {
  CmPhase Outcome = CmPhase::Idle;  // Done, Failed or Stopped
  std::string Failure;              // Failed: the port error's first line
  int64_t Units = 0;                // bytes or parameters moved
  double Seconds = 0;
};

class TRunOutcome {
 public:
  using Clock = std::chrono::steady_clock;

  // Takes the next published status at now. True when it ends a run that
  // was seen running; end then says how.
  bool Take(const CmRunStatus& status, Clock::time_point now, TRunEnd& end);
  // Done, Failed or Stopped for the run that ended last; Idle when there is
  // none to show (or it was cleared, or a run is in progress).
  CmPhase Shown() const { return Outcome; }
  void Clear() { Outcome = CmPhase::Idle; }

 private:
  bool Running = false;
  Clock::time_point Started{};
  CmPhase Outcome = CmPhase::Idle;
  // Per part (NoPart for channels without parts): the furthest position
  // reached and the part's length.
  std::map<int, int64_t> Reached;
  std::map<int, int64_t> Lengths;
};

// The log's line for a run that ended, e.g.
// "Run ended: Software Download - K7310, total.hex, COM7: verified, 10403 bytes, 14.2 s".
// A completed run reads "verified" where every part was read back
// (verifies), "done" otherwise; units names what was counted.
std::string RunEndLine(const std::string& operation, const std::string& file, const std::string& port,
                       bool verifies, const char* units, const TRunEnd& end);
