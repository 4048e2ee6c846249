// One soak run, in this process: a random case of the kind (from the seed),
// the simulator started with the run's faults, the host (model, controller,
// worker thread) pointed at it, the file loaded and the run started. When
// the device goes away in the middle, the host must show the port error
// once and rebuild its channel; a second device holding what the first one
// held takes the line, and the next run must succeed. Every wait has a
// deadline; a run that does not end is a hang. What happened goes to log.
#pragma once

#include <cstdint>
#include <ostream>

#include "sim/Simulators.h"
#include "tests/soak/Soakresult.h"

// The deadline of a whole run of the kind, in seconds, before scaling.
int SoakRunDeadline(SimKind kind);

// scale stretches every deadline (slow runs under valgrind or sanitizers).
SoakResult RunSoak(SimKind kind, uint64_t seed, double scale, std::ostream& log);
