#include "cli/Cliport.h"

#include <map>

#include "files/Inifile.h"
#include "comm/Portmap.h"

namespace {
// Device paths get the highest free number: far above the fixed table, so
// that the name shows at once that it stands for a path given by hand.
constexpr int HighestComNumber = 255;
}  // namespace

bool ResolvePort(const TIniFile& ini, const std::string& text, int& number, std::string& error) {
  std::map<int, std::string> overrides = ReadComOverrides(ini);
  SetComOverrides(overrides);
  if (text.empty()) {
    error = "no port given (--port COMn or --port " QMSS_DEVICE_PATH_EXAMPLE ")";
    return false;
  }
  if (const int n = ComNumber(text); n > 0) {
    if (ComDevicePath(n).empty()) {
      error = ComName(n) + " maps to no device: give a device path (--port " QMSS_DEVICE_PATH_EXAMPLE
                           ") or add " + ComName(n) + "=" QMSS_DEVICE_PATH_EXAMPLE " to the [PORTS] section of " +
              ini.Path();
      return false;
    }
    number = n;
    return true;
  }
  if (text.rfind("COM", 0) == 0 || text.rfind("com", 0) == 0) {
    error = "\"" + text + "\" is no port name: use COM1 to COM" + std::to_string(HighestComNumber) +
            " or a device path";
    return false;
  }
  // A path that [PORTS] already names keeps its number there.
  for (const auto& [n, path] : overrides) {
    if (path == text) {
      number = n;
      return true;
    }
  }
  for (int n = HighestComNumber; n >= 1; --n) {
    if (overrides.count(n) == 0) {
      overrides[n] = text;
      SetComOverrides(overrides);
      number = n;
      return true;
    }
  }
  error = "every COM number is taken by [PORTS] in " + ini.Path();
  return false;
}
