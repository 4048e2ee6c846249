// The settings text every port takes: "baud=%ld parity=%c data=8 stop=1".
// Read in one place, so that whether a rate and parity can be set up is
// known without a port (a mistyped command-line rate is a usage error).
#pragma once

#include <cstdint>
#include <string>

struct LineSettings {
  int32_t BaudRate = 0;  // any positive rate of up to nine digits
  char Parity = 'N';     // N, E, O, M or S, in capitals
};

// False for a text of another form, a rate of 0 or a parity letter that is
// not N, E, O, M or S (either case); settings is then unchanged.
bool ParseLineSettings(const std::string& text, LineSettings& settings);
