#include "comm/Portlist.h"

#include <algorithm>
#include <cstring>
#include <set>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "comm/Portmap.h"

namespace {

#ifdef _WIN32
// The largest list of device names read; a system has a few hundred.
constexpr DWORD DeviceListLimit = 1 << 20;

// The system's device behind a DOS device name; empty when it has none.
std::string DosDeviceTarget(const std::string& name) {
  char target[1024] = {};
  const DWORD length = QueryDosDeviceA(name.c_str(), target, sizeof target);
  return length > 0 ? std::string(target) : std::string();
}

// The name QueryDosDeviceA knows a device path by: "\\.\COM7" is "COM7".
std::string DosName(const std::string& devicePath) {
  const std::string prefix = "\\\\.\\";
  return devicePath.rfind(prefix, 0) == 0 ? devicePath.substr(prefix.size()) : devicePath;
}

std::set<int> SystemComNumbers() {
  // The buffer doubles until the list fits: QueryDosDeviceA does not say
  // how large it has to be.
  std::vector<char> list(64 * 1024);
  for (;;) {
    const DWORD length = QueryDosDeviceA(nullptr, list.data(), static_cast<DWORD>(list.size()));
    if (length > 0) {
      const std::vector<int> numbers = ComNumbersInDeviceList(list.data(), length);
      return {numbers.begin(), numbers.end()};
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || list.size() >= DeviceListLimit) return {};
    list.resize(list.size() * 2);
  }
}

bool Present(const std::string& devicePath, std::string& device) {
  device = SystemDeviceOf(devicePath);
  return !device.empty();
}
#else
bool Present(const std::string& devicePath, std::string& device) {
  struct stat info {};
  device.clear();
  return ::stat(devicePath.c_str(), &info) == 0;
}
#endif

}  // namespace

std::string SystemDeviceOf(const std::string& devicePath) {
#ifdef _WIN32
  return DosDeviceTarget(DosName(devicePath));
#else
  return {};
#endif
}

std::vector<int> ComNumbersInDeviceList(const char* list, size_t size) {
  std::set<int> numbers;
  size_t pos = 0;
  while (pos < size && list[pos] != '\0') {
    const size_t length = strnlen(list + pos, size - pos);
    if (const int number = ComNumber(std::string(list + pos, length)); number > 0) numbers.insert(number);
    pos += length + 1;
  }
  return {numbers.begin(), numbers.end()};
}

std::vector<TPresentPort> PresentComPorts(int highestNumber) {
  std::set<int> candidates;
#ifdef _WIN32
  // Asking the system for every name at once is quicker than for 255 names.
  for (int n : SystemComNumbers())
    if (n <= highestNumber) candidates.insert(n);
#else
  for (int n = 1; n <= highestNumber; ++n) candidates.insert(n);
#endif
  for (const auto& [n, path] : ComOverrides()) candidates.insert(n);

  std::vector<TPresentPort> ports;
  for (int n : candidates) {
    TPresentPort port;
    port.Number = n;
    port.DevicePath = ComDevicePath(n);
    if (!port.DevicePath.empty() && Present(port.DevicePath, port.Device)) ports.push_back(port);
  }
  return ports;
}
