// What one soak run reports to the soak's driver: the run's kind and seed,
// whether the device ended up holding what the host sent, the disconnect
// and rebuild it went through, the faults the simulators injected, and why
// it failed. A run writes it as "key value" lines into a file; the driver
// reads it back.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/Simfaults.h"
#include "sim/Simulators.h"

struct SoakResult {
  SimKind Kind = SimKind::K7310;
  uint64_t Seed = 0;
  bool Verified = false;
  bool Disconnected = false;  // the device went away in the middle of the run
  bool Rebuilt = false;       // and the model rebuilt channel and thread
  std::string PortError;      // the error the host showed for the disconnect
  std::array<int, kSimFaultKinds> Faults{};
  double Seconds = 0.0;
  std::string Failure;  // empty when verified
};

// "kind:seed" as SOAK_ONLY takes it.
std::string SoakRunName(SimKind kind, uint64_t seed);
bool ParseSoakRunName(const std::string& text, SimKind& kind, uint64_t& seed);

std::string FormatSoakResult(const SoakResult& result);
// False when the text is not a complete result.
bool ParseSoakResult(const std::string& text, SoakResult& result);
