#include "sim/Simulators.h"

#include "sim/Simk7310.h"
#include "sim/Simparams.h"
#include "sim/Simstream.h"
#include "sim/Simtrx5170.h"

const char* SimKindName(SimKind kind) {
  switch (kind) {
    case SimKind::K7310: return "k7310";
    case SimKind::Trx5170l: return "trx5170l";
    case SimKind::Params: return "params";
    case SimKind::Stream: return "stream";
  }
  return "?";
}

bool ParseSimKind(const std::string& name, SimKind& kind) {
  for (SimKind candidate : {SimKind::K7310, SimKind::Trx5170l, SimKind::Params, SimKind::Stream}) {
    if (name == SimKindName(candidate)) {
      kind = candidate;
      return true;
    }
  }
  return false;
}

std::unique_ptr<SimDevice> MakeSimulator(SimKind kind, const SimOptions& options) {
  switch (kind) {
    case SimKind::K7310: return std::make_unique<SimK7310>(options);
    case SimKind::Trx5170l: return std::make_unique<SimTrx5170>(options);
    case SimKind::Params: return std::make_unique<SimParams>(options);
    case SimKind::Stream: return std::make_unique<SimStream>(options);
  }
  return nullptr;
}
