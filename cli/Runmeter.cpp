#include "cli/Runmeter.h"

#include <algorithm>

namespace {
// Per byte of a part: written and read back block by block (two), and read
// once more in the verification pass.
constexpr int64_t WriteWeight = 2;
constexpr int64_t VerifyWeight = 1;
}  // namespace

TRunMeter::TRunMeter(std::vector<int64_t> partUnits, bool verifyPass)
    : Units(std::move(partUnits)), VerifyPass(verifyPass), Verified(Units.size(), false) {}

int64_t TRunMeter::Work(int part) const {
  if (part < 0 || part >= static_cast<int>(Units.size())) return 0;
  return Units[part] * (VerifyPass ? WriteWeight + VerifyWeight : 1);
}

int64_t TRunMeter::TotalUnits() const {
  int64_t total = 0;
  for (int64_t u : Units) total += std::max<int64_t>(u, 0);
  return total;
}

int TRunMeter::PartsWithData() const {
  return static_cast<int>(std::count_if(Units.begin(), Units.end(), [](int64_t u) { return u > 0; }));
}

void TRunMeter::Update(const CmRunStatus& status, double seconds) {
  Elapsed = seconds;
  if (AllDone) return;
  // A run of one part publishes no part number.
  int part = status.Part;
  if (part == CmRunStatus::NoPart && Units.size() == 1) part = 0;
  const bool known = part >= 0 && part < static_cast<int>(Units.size());
  const int64_t done = std::clamp<int64_t>(status.DoneUnits, 0, known ? Units[part] : 0);

  switch (status.Phase) {
    case CmPhase::Connecting:
    case CmPhase::Transferring:
      if (!known) break;
      // Reaching a later part means the earlier ones are behind; the same
      // part again after its verification started means it is done again.
      if (part > Current && VerifyingPart != CmRunStatus::NoPart && VerifyingPart < part) Verified[VerifyingPart] = true;
      VerifyingPart = CmRunStatus::NoPart;
      Current = part;
      PartUnits = status.Phase == CmPhase::Transferring ? done : 0;
      PartWork = PartUnits * (VerifyPass ? WriteWeight : 1);
      break;
    case CmPhase::Verifying:
      if (!known) break;
      Current = part;
      VerifyingPart = part;
      PartUnits = Units[part];
      PartWork = Units[part] * WriteWeight + done * VerifyWeight;
      break;
    case CmPhase::Finishing:
      // After the verification of the current part: it passed, and what
      // follows is its start.
      if (VerifyingPart != CmRunStatus::NoPart) {
        Verified[VerifyingPart] = true;
        VerifyingPart = CmRunStatus::NoPart;
      }
      if (Current < static_cast<int>(Units.size())) {
        PartUnits = Units[Current];
        PartWork = Work(Current);
      }
      break;
    case CmPhase::Done:
    case CmPhase::Idle:
    case CmPhase::Failed:
    case CmPhase::Stopped:
      break;
  }
}

void TRunMeter::Completed(double seconds) {
  Elapsed = seconds;
  AllDone = true;
  for (size_t p = 0; p < Units.size(); ++p)
    if (Units[p] > 0) Verified[p] = true;
}

TRunFigures TRunMeter::Figures() const {
  TRunFigures f;
  f.Seconds = Elapsed;
  f.UnitsTotal = TotalUnits();
  int64_t totalWork = 0;
  for (int p = 0; p < static_cast<int>(Units.size()); ++p) totalWork += Work(p);
  int64_t work = 0;
  if (AllDone) {
    work = totalWork;
    f.UnitsDone = f.UnitsTotal;
  } else {
    for (int p = 0; p < Current && p < static_cast<int>(Units.size()); ++p) {
      work += Work(p);
      f.UnitsDone += std::max<int64_t>(Units[p], 0);
    }
    work += PartWork;
    f.UnitsDone += PartUnits;
  }
  f.Fraction = totalWork > 0 ? std::min(1.0, static_cast<double>(work) / static_cast<double>(totalWork)) : 0;
  f.Rate = Elapsed > 0 ? static_cast<double>(f.UnitsDone) / Elapsed : 0;
  if (AllDone)
    f.SecondsLeft = 0;
  else if (f.Fraction > 0)
    f.SecondsLeft = Elapsed * (1 - f.Fraction) / f.Fraction;
  return f;
}

std::vector<int> TRunMeter::VerifiedParts() const {
  std::vector<int> parts;
  for (size_t p = 0; p < Verified.size(); ++p)
    if (Verified[p]) parts.push_back(static_cast<int>(p));
  return parts;
}
