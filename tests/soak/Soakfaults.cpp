#include "tests/soak/Soakfaults.h"

#include <algorithm>
#include <cstdio>

namespace {

// The most a rate may be per fault and kind of device; 0 where the device
// has no such fault. A lost answer costs the host a reply time-out (a second
// for the K7310), and a bit flipped in the K7310's verification writes the
// whole part again, so those rates stay low.
struct FaultRange {
  SimFault Fault;
  double K7310, Trx5170, Params;
};
constexpr FaultRange Ranges[] = {
    {SimFault::Nack, 0.04, 0.0, 0.0},      {SimFault::Drop, 0.008, 0.04, 0.08},
    {SimFault::Corrupt, 0.008, 0.05, 0.1}, {SimFault::Bitflip, 0.04, 0.0, 0.0},
    {SimFault::Noise, 0.008, 0.1, 0.2},    {SimFault::Split, 0.3, 0.4, 0.5},
};

double MostFor(const FaultRange& range, SimKind kind) {
  switch (kind) {
    case SimKind::K7310: return range.K7310;
    case SimKind::Trx5170l: return range.Trx5170;
    case SimKind::Params: return range.Params;
    default: return 0.0;
  }
}

}  // namespace

SoakFaultPlan ChooseSoakFaults(SimKind kind, const SoakCase& soakCase, std::mt19937_64& random) {
  SoakFaultPlan plan;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (const FaultRange& range : Ranges) {
    const double most = MostFor(range, kind);
    // Each fault is on in about half the runs, so that runs see both single
    // faults and mixtures.
    if (most <= 0.0 || unit(random) < 0.5) continue;
    plan.Faults[static_cast<int>(range.Fault)] = {most * unit(random), -1};
  }
  // One run in four loses its device: after a number of bytes below what a
  // whole run needs, or at a command.
  if (unit(random) < 0.25) {
    if (unit(random) < 0.5) {
      plan.DisconnectAfterBytes = static_cast<int64_t>(SoakBetween(random, 1, soakCase.TrafficEstimate()));
    } else {
      const double commands = static_cast<double>(std::max<uint64_t>(soakCase.CommandEstimate(), 2));
      plan.Faults[static_cast<int>(SimFault::Disconnect)] = {1.0 / (1.0 + unit(random) * (commands - 1.0)), 1};
    }
  }
  return plan;
}

std::string DescribeSoakFaults(const SoakFaultPlan& plan) {
  std::string text;
  for (int i = 0; i < kSimFaultKinds; ++i) {
    if (plan.Faults[i].Rate <= 0.0) continue;
    char rate[32];
    std::snprintf(rate, sizeof rate, " %.4f", plan.Faults[i].Rate);
    text += (text.empty() ? "" : ", ") + std::string(SimFaultName(static_cast<SimFault>(i))) + rate;
  }
  if (plan.DisconnectAfterBytes >= 0)
    text += (text.empty() ? "" : ", ") + std::string("disconnect after ") + std::to_string(plan.DisconnectAfterBytes) +
            " bytes";
  return text.empty() ? "none" : text;
}
