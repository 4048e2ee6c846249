#include "tests/hostile/Peakmemory.h"

#include <fstream>
#include <string>

namespace {
// A "Name:   1234 kB" field of /proc/self/status, in bytes; -1 when missing.
int64_t StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::stoll(line.substr(name.size() + 1)) * 1024;
  }
  return -1;
}
}  // namespace

TPeakMemory::TPeakMemory() {
  std::ofstream("/proc/self/clear_refs") << "5";
  Start = ResidentBytes();
}

int64_t TPeakMemory::ResidentBytes() { return StatusField("VmRSS"); }

int64_t TPeakMemory::GrowthBytes() const { return StatusField("VmHWM") - Start; }
