// COM numbers and the device paths behind them.
#include "comm/Portmap.h"

#include <climits>
#include <string>

#include "files/Inifile.h"
#include "comm/Portfactory.h"

namespace {

struct PortRange {
  int First;           // first COM number of the range
  int Last;            // last COM number of the range
  const char* Prefix;  // device path without its index
  int FirstIndex;      // the index of the first COM number's device
};

#ifdef _WIN32
// The system names its serial ports COMn itself; "\\.\" is the prefix that
// opens the numbers above 9 as well.
constexpr PortRange PortTable[] = {
    {1, 255, "\\\\.\\COM", 1},
};
#else
// Fixed, so that a COM number keeps naming the same kind of port whatever
// adapters are plugged in.
constexpr PortRange PortTable[] = {
    {1, 32, "/dev/ttyS", 0},
    {33, 64, "/dev/ttyUSB", 0},
    {65, 96, "/dev/ttyACM", 0},
};
#endif

// Set once by the host at start-up, before any channel runs; read afterwards.
std::map<int, std::string>& Overrides() {
  static std::map<int, std::string> overrides;
  return overrides;
}

}  // namespace

std::string ComName(int number) { return "COM" + std::to_string(number); }

std::string ComDevicePath(int number) {
  const auto& overrides = Overrides();
  auto found = overrides.find(number);
  if (found != overrides.end()) return found->second;
  for (const PortRange& range : PortTable) {
    if (number >= range.First && number <= range.Last)
      return range.Prefix + std::to_string(number - range.First + range.FirstIndex);
  }
  return {};
}

std::vector<std::string> ComTableLines() {
  std::vector<std::string> lines;
  for (const PortRange& range : PortTable)
    lines.push_back(ComName(range.First) + "-" + ComName(range.Last) + ": " + range.Prefix +
                    std::to_string(range.FirstIndex) + "-" +
                    std::to_string(range.Last - range.First + range.FirstIndex));
  return lines;
}

int ComNumber(const std::string& name) {
  if (name.size() < 4) return 0;
  for (size_t i = 0; i < 3; ++i) {
    char c = name[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != "COM"[i]) return 0;
  }
  long long value = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    char c = name[i];
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return 0;
  }
  return static_cast<int>(value);
}

void SetComOverrides(const std::map<int, std::string>& overrides) { Overrides() = overrides; }

const std::map<int, std::string>& ComOverrides() { return Overrides(); }

std::map<int, std::string> ReadComOverrides(const TIniFile& ini) {
  std::map<int, std::string> overrides;
  for (const std::string& key : ini.ReadKeys("PORTS")) {
    int number = ComNumber(key);
    if (number <= 0) continue;  // not a COM name: ignored
    std::string path = ini.ReadString("PORTS", key, "");
    if (!path.empty()) overrides[number] = path;
  }
  return overrides;
}

bool ComPortOpens(int number) {
  std::string path = ComDevicePath(number);
  if (path.empty()) return false;
  return MakeSerialPort()->Open(path);  // closed again by the destructor
}
