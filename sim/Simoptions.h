// What a simulator is told at creation: the seed and faults every kind
// shares, and the settings of each kind.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/Simfaults.h"

struct SimOptions {
  // Common.
  uint64_t Seed = 1;
  std::array<SimFaultSetting, kSimFaultKinds> Faults{};
  // Close the line once this many bytes have crossed it (both directions);
  // -1 never.
  int64_t DisconnectAfterBytes = -1;
  bool Pace = false;
  char AssumedParity = 0;  // 'E'/'O': pace 11-bit bytes though the pty shows none
  // A command or frame whose bytes stop coming for this long is abandoned,
  // so a host that resends after its own time-out finds the device waiting
  // for a new command. 0 waits for ever.
  int CommandTimeoutMs = 500;

  // K7310.
  bool Awake = false;        // the main processor starts with its boot loader woken
  int RouteFallbackMs = 1500;  // route back to the main processor after this silence; 0 never
  std::string ImageFile;     // flash preload (K7310: the four parts back to back; TRX5170L: 128 KiB)

  // TRX5170L.
  int BusyPolls = 2;           // after a block, busy for 0..BusyPolls polls (seeded)
  int SessionTimeoutMs = 3000;  // without a good frame, back to locked at 1200 baud; 0 never

  // Parameters.
  std::string TableFile;

  // Parameter stream.
  std::string StreamFile;  // empty: the built-in sample
  int IntervalMs = 100;    // pause between lines
  int StartDelayMs = 0;
  int Repeat = 1;          // times the lines are sent; 0 for ever
  bool CrLf = true;        // CR LF line ends, else LF
  int LongLine = 0;        // then this many characters without a line end

  SimFaultSetting& Fault(SimFault fault) { return Faults[static_cast<int>(fault)]; }
  const SimFaultSetting& Fault(SimFault fault) const { return Faults[static_cast<int>(fault)]; }
};
