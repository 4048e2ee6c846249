// The options every device subcommand shares: the INI file, the port, the
// line settings and the time-out.
#pragma once

#include <optional>
#include <string>

#include "cli/Cliargs.h"

// How long a run waits for the first byte from the device before it gives up.
inline constexpr double DefaultConnectTimeoutSeconds = 20;

struct TLineOptions {
  std::string IniPath;
  int Port = 0;                 // COM number (a device path was mapped to one)
  std::string PortText;         // the port as the user gave it, for messages
  std::optional<int> Baud;      // unset: the operation's INI section, else 1200
  std::optional<char> Parity;   // unset: the operation's INI section, else 'E'
  double TimeoutSeconds = 0;    // 0: not given and no default (the run's own follows from the image)
  double ConnectTimeoutSeconds = DefaultConnectTimeoutSeconds;
};

// The option table entries of the shared options.
#define QMSS_LINE_OPTIONS                                                                    \
  {"-p,--port", true}, {"--baud", true}, {"--parity", true}, {"--timeout", true}, {"--ini", true}, \
      {"--connect-timeout", true}

// Reads the shared options (the port resolved through the INI's [PORTS]).
// defaultTimeout 0 leaves TimeoutSeconds 0 when --timeout is not given.
// port: the port to resolve when not the (first) --port value.
// False with a message for a missing port or a value that is no good.
bool ReadLineOptions(const TCliArgs& args, double defaultTimeout, TLineOptions& out, std::string& error,
                     const std::string* port = nullptr);

// The port as the user named it: a device path as given, a COM name with its
// device ("COM5 (/dev/ttyS4)").
std::string PortDescription(const TLineOptions& line);

// Seconds for a message: "1", "0.5", "64" (whole seconds from 10 on).
std::string FormatSeconds(double seconds);

// The message of a run that never heard a byte from the device.
std::string NoAnswerMessage(const TLineOptions& line, double seconds);
