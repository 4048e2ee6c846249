// Creating a simulator of a kind. The kinds and their classes:
//   k7310     SimK7310    (sim/Simk7310.h)
//   trx5170l  SimTrx5170  (sim/Simtrx5170.h)
//   params    SimParams   (sim/Simparams.h)
//   stream    SimStream   (sim/Simstream.h)
#pragma once

#include <memory>
#include <string>

#include "sim/Simdevice.h"
#include "sim/Simoptions.h"

enum class SimKind { K7310, Trx5170l, Params, Stream };

const char* SimKindName(SimKind kind);
// False when the name is none of the kinds.
bool ParseSimKind(const std::string& name, SimKind& kind);

std::unique_ptr<SimDevice> MakeSimulator(SimKind kind, const SimOptions& options);
