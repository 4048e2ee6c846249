#include "cli/Lineoptions.h"

#include <cctype>
#include <cstdio>

#include "files/Inifile.h"
#include "cli/Cliini.h"
#include "cli/Cliport.h"
#include "comm/Portmap.h"
#include "comm/Linesettings.h"

namespace {

// Whether the serial layer can set up a line with these settings, so that a
// mistyped rate is a usage error and not a failed run.
bool SettingsUsable(int baud, char parity) {
  char text[80];
  std::snprintf(text, sizeof text, "baud=%ld parity=%c data=8 stop=1", static_cast<long>(baud), parity);
  LineSettings settings;
  return ParseLineSettings(text, settings);
}

}  // namespace

bool ReadLineOptions(const TCliArgs& args, double defaultTimeout, TLineOptions& out, std::string& error,
                     const std::string* port) {
  out.IniPath = CliIniPath(args.Value("--ini"));
  if (args.Has("--baud")) {
    long long baud = 0;
    if (!ParseInteger(args.Value("--baud"), baud) || baud <= 0 || baud > 4000000 ||
        !SettingsUsable(static_cast<int>(baud), 'N')) {
      error = "unsupported baud rate \"" + args.Value("--baud") + "\" (e.g. 1200, 9600, 115200)";
      return false;
    }
    out.Baud = static_cast<int>(baud);
  }
  if (args.Has("--parity")) {
    const std::string text = args.Value("--parity");
    const char letter = text.size() == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))) : 0;
    if (letter == 0 || !SettingsUsable(1200, letter)) {
      error = "unsupported parity \"" + text + "\" (N, E or O)";
      return false;
    }
    out.Parity = letter;
  }
  out.TimeoutSeconds = defaultTimeout;
  if (args.Has("--timeout") && !ParseSeconds(args.Value("--timeout"), out.TimeoutSeconds)) {
    error = "bad time-out \"" + args.Value("--timeout") + "\" (seconds, greater than 0)";
    return false;
  }
  if (args.Has("--connect-timeout") && !ParseSeconds(args.Value("--connect-timeout"), out.ConnectTimeoutSeconds)) {
    error = "bad connect time-out \"" + args.Value("--connect-timeout") + "\" (seconds, greater than 0)";
    return false;
  }
  out.PortText = port ? *port : args.Value("--port");
  const TIniFile ini(out.IniPath);
  return ResolvePort(ini, out.PortText, out.Port, error);
}

std::string PortDescription(const TLineOptions& line) {
  if (ComNumber(line.PortText) > 0) return ComName(line.Port) + " (" + ComDevicePath(line.Port) + ")";
  return line.PortText;
}

std::string FormatSeconds(double seconds) {
  char figure[32];
  std::snprintf(figure, sizeof figure, seconds >= 10 ? "%.0f" : "%g", seconds);
  return figure;
}

std::string NoAnswerMessage(const TLineOptions& line, double seconds) {
  return "no answer from the device on " + PortDescription(line) + " within " + FormatSeconds(seconds) +
         " s: check the cable, the power, and that the device is in its boot loader";
}
