#include "comm/Portaccess.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <string>

#include "comm/Portmap.h"

namespace {

std::function<bool()>& AccessCheck() {
  static std::function<bool()> check;
  return check;
}

#ifdef _WIN32
// Windows gives every user its COM ports; a port that will not open is held
// by another program, which the open itself reports.
bool DevicesDenied() { return false; }
#else
// The highest COM number of the fixed table.
constexpr int HighestTableNumber = 96;

bool DevicesDenied() {
  bool anyDevice = false;
  auto consider = [&anyDevice](const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    anyDevice = true;
    return ::access(path.c_str(), R_OK | W_OK) == 0;
  };
  for (int n = 1; n <= HighestTableNumber; ++n)
    if (consider(ComDevicePath(n))) return false;
  for (const auto& [number, path] : ComOverrides())
    if (consider(path)) return false;
  return anyDevice;
}
#endif

}  // namespace

bool SerialPortsDeniedToUser() { return AccessCheck() ? AccessCheck()() : DevicesDenied(); }

void SetSerialAccessCheck(std::function<bool()> check) { AccessCheck() = std::move(check); }
