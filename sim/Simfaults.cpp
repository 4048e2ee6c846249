#include "sim/Simfaults.h"

const char* SimFaultName(SimFault fault) {
  switch (fault) {
    case SimFault::Nack: return "nack";
    case SimFault::Drop: return "drop";
    case SimFault::Corrupt: return "corrupt";
    case SimFault::Bitflip: return "bitflip";
    case SimFault::Noise: return "noise";
    case SimFault::Split: return "split";
    case SimFault::Disconnect: return "disconnect";
  }
  return "?";
}

SimFaults::SimFaults(uint64_t seed, const std::array<SimFaultSetting, kSimFaultKinds>& settings)
    : Settings(settings) {
  for (int i = 0; i < kSimFaultKinds; ++i) {
    // Distinct, fixed streams per fault kind from the one seed.
    Streams[i].seed(seed ^ (0x9E3779B97F4A7C15ULL * static_cast<uint64_t>(i + 1)));
  }
}

bool SimFaults::Roll(SimFault fault, const std::string& where, uint64_t atByte) {
  std::lock_guard<std::mutex> guard(Lock);
  int i = static_cast<int>(fault);
  const SimFaultSetting& setting = Settings[i];
  if (setting.Rate <= 0.0) return false;
  ++Chances[i];
  if (setting.Limit >= 0 && Counts[i] >= setting.Limit) return false;
  bool strikes = setting.Rate >= 1.0 ||
                 std::uniform_real_distribution<double>(0.0, 1.0)(Streams[i]) < setting.Rate;
  if (!strikes) return false;
  ++Counts[i];
  Log.push_back({fault, where, atByte});
  return true;
}

uint64_t SimFaults::Below(SimFault fault, uint64_t n) {
  std::lock_guard<std::mutex> guard(Lock);
  return std::uniform_int_distribution<uint64_t>(0, n - 1)(Streams[static_cast<int>(fault)]);
}

void SimFaults::Record(SimFault fault, const std::string& where, uint64_t atByte) {
  std::lock_guard<std::mutex> guard(Lock);
  ++Counts[static_cast<int>(fault)];
  Log.push_back({fault, where, atByte});
}

int SimFaults::Count(SimFault fault) const {
  std::lock_guard<std::mutex> guard(Lock);
  return Counts[static_cast<int>(fault)];
}

int SimFaults::Opportunities(SimFault fault) const {
  std::lock_guard<std::mutex> guard(Lock);
  return Chances[static_cast<int>(fault)];
}

std::vector<SimFaultEvent> SimFaults::Events() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Log;
}

const SimFaultSetting& SimFaults::Setting(SimFault fault) const {
  return Settings[static_cast<int>(fault)];
}
