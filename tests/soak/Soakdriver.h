// The soak's driver: runs every run as a child process of this program (so
// that a crash, a leak report or a hang is pinned on one run and its seed),
// a few at a time, kills a run that outlives its deadline, and prints what
// the runs reported.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/Simulators.h"

struct SoakSettings {
  int Runs = 50;         // per kind
  uint64_t Seed = 1;     // the first run's seed; run i has Seed + i
  std::vector<std::pair<SimKind, uint64_t>> Only;  // when set, just these runs
  int Jobs = 6;          // runs at the same time
  double Scale = 1.0;    // deadline stretch
  std::string LogDir;    // logs of failed runs stay here
  std::string Program;   // this program, to start the runs with
};

// Prints progress and the summary to stdout; 0 when every run verified.
int RunSoakDriver(const SoakSettings& settings);
