// How far a whole run has got, from the run status the channel publishes:
// the overall share of the work over every part, the units done, the rate
// and the time left. A K7310 run writes and reads back each part block by
// block, then reads the whole part once more to verify it; the meter weighs
// those passes by the bytes they put on the line, so that the percentage
// moves evenly over the parts instead of starting again at 0 for each.
#pragma once

#include <cstdint>
#include <vector>

#include "comm/Runstatus.h"

struct TRunFigures {
  double Fraction = 0;      // 0..1 of the run's work
  int64_t UnitsDone = 0;    // bytes written (parameters read back) so far, over every part
  int64_t UnitsTotal = 0;
  double Seconds = 0;       // since the run started
  double Rate = 0;          // units done a second
  double SecondsLeft = -1;  // -1 while not known
};

class TRunMeter {
 public:
  // partUnits: the units of each part in the order the run takes them (the
  // K7310 processors by index, 0 for a processor without data; one entry for
  // a run of a single part). verifyPass: each part is read back whole after
  // it is written.
  TRunMeter(std::vector<int64_t> partUnits, bool verifyPass);

  // A record the channel published, seconds after the run started.
  void Update(const CmRunStatus& status, double seconds);
  // The time since the run started, without a new record.
  void SetSeconds(double seconds) { Elapsed = seconds; }
  // The run completed: every part written and verified.
  void Completed(double seconds);

  TRunFigures Figures() const;
  // The parts whose verification passed (by index), in order.
  std::vector<int> VerifiedParts() const;
  int64_t TotalUnits() const;
  // The parts that have units.
  int PartsWithData() const;

 private:
  int64_t Work(int part) const;  // the line work of a whole part

  std::vector<int64_t> Units;
  bool VerifyPass;
  int Current = 0;            // the part in progress; those below it are complete
  int64_t PartWork = 0;       // work done in the current part
  int64_t PartUnits = 0;      // units done in the current part
  int VerifyingPart = CmRunStatus::NoPart;
  std::vector<bool> Verified;
  bool AllDone = false;
  double Elapsed = 0;
};
