// The serial ports present right now, by COM number, for `qmss ports` and
// the port lists of the hosts: on Linux the COM numbers whose device (by the
// fixed table or an override) exists; on Windows the COM names the system
// knows (QueryDosDeviceA) and the overrides.
#pragma once

#include <string>
#include <vector>

struct TPresentPort {
  int Number = 0;          // COMn
  std::string DevicePath;  // what the port map opens for it
  std::string Device;      // the system's device behind the name (Windows: "\Device\Serial0"); may be empty
};

// The system's device behind a device path: on Windows the one
// QueryDosDeviceA names ("\\.\COM3" -> "\Device\Serial0"), empty when the
// system knows no such name; on Linux always empty.
std::string SystemDeviceOf(const std::string& devicePath);

// Sorted by COM number, up to highestNumber and every override.
std::vector<TPresentPort> PresentComPorts(int highestNumber);

// The COM numbers among the names of a list of device names, each ended by
// a NUL and the list by a second NUL (what QueryDosDeviceA(nullptr, ...)
// returns), sorted and each once. Names other than COMn are skipped.
std::vector<int> ComNumbersInDeviceList(const char* list, size_t size);
