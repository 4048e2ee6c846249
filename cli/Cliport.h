// The --port argument: "COMn" (any case), mapped by the fixed table and the
// INI "PORTS" overrides, or a device path, which is installed as the override
// of an otherwise unused COM number so that the channel names and logs it as
// "COM%d" like any other port.
#pragma once

#include <string>

class TIniFile;

// Installs the INI's "PORTS" overrides, then resolves text. False with a
// message when a COM name maps to no device or the text is empty.
bool ResolvePort(const TIniFile& ini, const std::string& text, int& number, std::string& error);
