// The --port argument: "COMn" (any case), mapped by the fixed table and the
// INI "PORTS" overrides, or a device path, which is installed as the override
// of an otherwise unused COM number so that the channel names and logs it as
// "COM%d" like any other port.
#pragma once

#include <string>

class TIniFile;

// A device path as the system writes one, for the messages and help texts.
#ifdef _WIN32
#define QMSS_DEVICE_PATH_EXAMPLE "\\\\.\\COM12"
#else
#define QMSS_DEVICE_PATH_EXAMPLE "/dev/ttyUSB0"
#endif

// Installs the INI's "PORTS" overrides, then resolves text. False with a
// message when a COM name maps to no device or the text is empty.
bool ResolvePort(const TIniFile& ini, const std::string& text, int& number, std::string& error);
