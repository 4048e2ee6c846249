#include "comm/Runstatus.h"

const char* PhaseName(CmPhase phase) {
  switch (phase) {
    case CmPhase::Idle: return "idle";
    case CmPhase::Connecting: return "connecting";
    case CmPhase::Transferring: return "transferring";
    case CmPhase::Verifying: return "verifying";
    case CmPhase::Finishing: return "finishing";
    case CmPhase::Done: return "done";
    case CmPhase::Failed: return "failed";
    case CmPhase::Stopped: return "stopped";
  }
  return "?";
}

void CmRunHistory::Failure(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  LastFailure = line.substr(0, end);
}

CmRunStatus CmRunHistory::Record(CmPhase phase) const {
  CmRunStatus status;
  status.Phase = phase == CmPhase::Idle ? Outcome.load() : phase;
  status.CompletedRuns = Completions;
  status.LastFailure = LastFailure;
  return status;
}
