#include "core/Runoutcome.h"

#include <algorithm>
#include <cstdio>

namespace {

bool IsRunning(CmPhase phase) {
  return phase == CmPhase::Connecting || phase == CmPhase::Transferring || phase == CmPhase::Verifying ||
         phase == CmPhase::Finishing;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

}  // namespace

bool TRunOutcome::Take(const CmRunStatus& status, Clock::time_point now, TRunEnd& end) {
  if (IsRunning(status.Phase)) {
    if (!Running) {
      Running = true;
      Started = now;
      Reached.clear();
      Lengths.clear();
    }
    Outcome = CmPhase::Idle;
    if (status.TotalUnits > 0) {
      Lengths[status.Part] = status.TotalUnits;
      int64_t& reached = Reached[status.Part];
      reached = std::max(reached, std::min(status.DoneUnits, status.TotalUnits));
    }
    return false;
  }
  if (!Running) return false;
  Running = false;
  // At rest without an outcome: the run found nothing to do.
  if (status.Phase != CmPhase::Done && status.Phase != CmPhase::Failed && status.Phase != CmPhase::Stopped)
    return false;
  Outcome = status.Phase;
  end = TRunEnd{};
  end.Outcome = status.Phase;
  if (status.Phase == CmPhase::Failed) end.Failure = FirstLine(status.LastFailure);
  // A completed run moved every part whole; any other run moved the parts
  // it left behind whole (a part is only left once verified) and the one it
  // ended in as far as it got.
  int last = CmRunStatus::NoPart;
  for (const auto& [part, length] : Lengths) last = std::max(last, part);
  for (const auto& [part, length] : Lengths)
    end.Units += status.Phase == CmPhase::Done || part < last ? length : Reached[part];
  end.Seconds = std::chrono::duration<double>(now - Started).count();
  return true;
}

std::string RunEndLine(const std::string& operation, const std::string& file, const std::string& port,
                       bool verifies, const char* units, const TRunEnd& end) {
  std::string outcome = "stopped";
  if (end.Outcome == CmPhase::Done)
    outcome = verifies ? "verified" : "done";
  else if (end.Outcome == CmPhase::Failed)
    outcome = "failed: " + (end.Failure.empty() ? std::string("the port failed") : end.Failure);
  char figures[64];
  std::snprintf(figures, sizeof figures, ", %lld %s, %.1f s\r\n", static_cast<long long>(end.Units), units,
                end.Seconds);
  return "Run ended: " + operation + ", " + (file.empty() ? std::string("no file") : file) + ", " + port + ": " +
         outcome + figures;
}
