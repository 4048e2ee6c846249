// Seeded fault injection. Every fault kind has its own random stream drawn
// from the seed, so switching one fault on does not change when the others
// strike. A fault is asked for at each of its opportunities (an answer about
// to go out, a command received); it strikes with its rate and at most Limit
// times. Every strike is recorded.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

enum class SimFault {
  Nack,        // a NACK goes out instead of an ACK; the command has no effect
  Drop,        // an answer is lost on the line; the device acted on the command
  Corrupt,     // the check byte of an answer frame is damaged (K7310: the ACK byte)
  Bitflip,     // one bit of read-back data is flipped on the way out
  Noise,       // a few noise bytes go out before an answer
  Split,       // an answer goes out in several writes with small pauses
  Disconnect,  // the line is closed when a command arrives
};
constexpr int kSimFaultKinds = 7;

// "nack", "drop", ... as used in options and the summary.
const char* SimFaultName(SimFault fault);

struct SimFaultSetting {
  double Rate = 0.0;  // probability per opportunity, 0 to 1
  int Limit = -1;     // most strikes; -1 for no limit
};

struct SimFaultEvent {
  SimFault Fault;
  std::string Where;    // which answer or command it hit
  uint64_t AtByte = 0;  // bytes on the line (both directions) when it struck
};

class SimFaults {
 public:
  SimFaults(uint64_t seed, const std::array<SimFaultSetting, kSimFaultKinds>& settings);

  // One opportunity for the fault: true when it strikes (recorded).
  bool Roll(SimFault fault, const std::string& where, uint64_t atByte);
  // A number in [0, n) from the fault's own stream, for its details (which
  // bit, how many noise bytes); n must be above 0.
  uint64_t Below(SimFault fault, uint64_t n);
  // Records a strike that no roll decided (a disconnect after N bytes).
  void Record(SimFault fault, const std::string& where, uint64_t atByte);

  int Count(SimFault fault) const;
  int Opportunities(SimFault fault) const;
  std::vector<SimFaultEvent> Events() const;
  const SimFaultSetting& Setting(SimFault fault) const;

 private:
  std::array<SimFaultSetting, kSimFaultKinds> Settings;
  std::array<std::mt19937_64, kSimFaultKinds> Streams;
  std::array<int, kSimFaultKinds> Counts{};
  std::array<int, kSimFaultKinds> Chances{};
  std::vector<SimFaultEvent> Log;
  mutable std::mutex Lock;
};
