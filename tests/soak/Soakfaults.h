// The faults of one soak run, drawn from its seed: which of the simulator's
// faults are on and at what rate (each kind of device has its own share of
// them and ranges that keep a run short), and whether the device goes away
// in the middle of the run.
#pragma once

#include <array>
#include <random>
#include <string>

#include "sim/Simoptions.h"
#include "sim/Simulators.h"
#include "tests/soak/Soakcase.h"

struct SoakFaultPlan {
  std::array<SimFaultSetting, kSimFaultKinds> Faults{};
  // The line closes once this many bytes crossed it; -1 never.
  int64_t DisconnectAfterBytes = -1;
};

SoakFaultPlan ChooseSoakFaults(SimKind kind, const SoakCase& soakCase, std::mt19937_64& random);
// "nack 0.031, split 0.2, disconnect after 1234 bytes" for the log.
std::string DescribeSoakFaults(const SoakFaultPlan& plan);
