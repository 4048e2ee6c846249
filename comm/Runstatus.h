// What a channel's run is doing, as data. Each channel publishes this record
// next to its status texts, in the same UpdateStatus hand-over, so that a host
// decides how a run ended and how far it got without reading display texts or
// state numbers: the texts may change, this record's meaning does not.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

enum class CmPhase : uint8_t {
  Idle,          // no run: nothing loaded, or ready for one
  Connecting,    // reaching the device (or its boot loader)
  Transferring,  // data going to the device (or coming from it)
  Verifying,     // the device's copy read back as a whole
  Finishing,     // starting what was loaded, closing the run
  Done,          // the last run completed; the channel is ready again
  Failed,        // the port failed; the channel is rebuilt
  Stopped,       // the last run was stopped before it completed
};

const char* PhaseName(CmPhase phase);  // "idle", "connecting", ...

struct CmRunStatus {
  static constexpr int NoPart = -1;

  CmPhase Phase = CmPhase::Idle;
  int Part = NoPart;           // the K7310 processor (0..3, K7310Processors), else NoPart
  int64_t DoneUnits = 0;       // bytes (downloads) or parameters of the current part or run
  int64_t TotalUnits = 0;      // 0 when there is no such figure
  int32_t CompletedRuns = 0;   // runs completed since the channel was built or last stopped
  std::string LastFailure;     // the channel's last failure line, empty when none

  bool operator==(const CmRunStatus&) const = default;
};

// What a channel keeps of its runs between two records: how the last run
// ended, how many completed, the last failure line. The outcome and the count
// are written by the steps and by Command (host thread); the failure line by
// the steps and Open only, and read in UpdateStatus, while the worker waits.
class CmRunHistory {
 public:
  void Started() { Outcome = CmPhase::Idle; }
  void Completed() {
    ++Completions;
    Outcome = CmPhase::Done;
  }
  void Stopped() { Outcome = CmPhase::Stopped; }
  // The port failed during the run.
  void Failed() { Outcome = CmPhase::Failed; }
  // A failure line as the channel logs it; the line end is dropped.
  void Failure(const std::string& line);

  // The record for a channel in phase; a channel at rest (Idle) shows how
  // its last run ended.
  CmRunStatus Record(CmPhase phase) const;

 private:
  std::atomic<CmPhase> Outcome{CmPhase::Idle};
  std::atomic<int32_t> Completions{0};
  std::string LastFailure;
};
