// Port names are "COM%d" wherever shown or logged. A COM number maps to a
// device path by a fixed table that does not shift when adapters come and go:
//   COM1..COM32  -> /dev/ttyS0..31
//   COM33..COM64 -> /dev/ttyUSB0..31
//   COM65..COM96 -> /dev/ttyACM0..31
// and an INI section "PORTS" overrides any number (COM7=/dev/serial/by-id/...).
// On Windows the system's own names are used: COMn is "\\.\COMn".
#pragma once

#include <map>
#include <string>
#include <vector>

class TIniFile;

std::string ComName(int number);  // "COM%d"
// The device path of a COM number: the override if one is set, otherwise the
// table; empty when the number maps to nothing.
std::string ComDevicePath(int number);
// Parses "COMn" (any case) into n; 0 when the text is no COM name.
int ComNumber(const std::string& name);

// The fixed table, one line per range ("COM1-COM32: /dev/ttyS0-31"), for
// showing to a technician.
std::vector<std::string> ComTableLines();

// Overrides in force for this process (set by the host at start-up).
void SetComOverrides(const std::map<int, std::string>& overrides);
const std::map<int, std::string>& ComOverrides();
// Reads the "PORTS" section of an INI file: keys "COMn", values device paths.
std::map<int, std::string> ReadComOverrides(const TIniFile& ini);
// Whether a COM number's device exists and opens exclusively right now
// (opened and closed at once, as the start-up probe and the settings dialog do).
bool ComPortOpens(int number);
