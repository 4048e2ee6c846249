// The options every device subcommand shares: the INI file, the port, the
// line settings and the time-out.
#pragma once

#include <optional>
#include <string>

#include "cli/Cliargs.h"

struct TLineOptions {
  std::string IniPath;
  int Port = 0;                 // COM number (a device path was mapped to one)
  std::optional<int> Baud;      // unset: the operation's INI section, else 1200
  std::optional<char> Parity;   // unset: the operation's INI section, else 'E'
  double TimeoutSeconds = 0;
};

// The option table entries of the shared options.
#define QMSS_LINE_OPTIONS                                                                    \
  {"--port", true}, {"--baud", true}, {"--parity", true}, {"--timeout", true}, {"--ini", true}

// Reads the shared options (the port resolved through the INI's [PORTS]).
// False with a message for a missing port or a value that is no good.
bool ReadLineOptions(const TCliArgs& args, double defaultTimeout, TLineOptions& out, std::string& error);

// "COM255 (/dev/pts/3)".
std::string PortDescription(int port);
