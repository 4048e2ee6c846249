// qmss ports: every COM name that maps to an existing device (by the fixed
// table or the INI's [PORTS] overrides), its path, and whether it opens now.
#include <cstdio>

#include "files/Inifile.h"
#include "cli/Cliargs.h"
#include "cli/Cliini.h"
#include "cli/Commands.h"
#include "comm/Portlist.h"
#include "comm/Portmap.h"

namespace {

const char* const PortsUsage =
    "Usage: qmss ports [--ini FILE]\n"
    "Lists COMn, the device behind it and whether it opens now (\"does not open\": another\n"
#ifdef _WIN32
    "program holds it, or it is no serial device).\n"
#else
    "program holds it, it is no serial device, or no permission: see the dialout group).\n"
#endif
    "  --ini FILE  the INI file whose [PORTS] section maps COM names to devices\n"
    "  -h, --help  this text\n";

constexpr int HighestComNumber = 255;

}  // namespace

int RunPortsCommand(const std::vector<std::string>& args) {
  TCliArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {{"--ini", true}, {"-h,--help", false}}, error) || !parsed.Positional().empty()) {
    std::fprintf(stderr, "qmss ports: %s\n%s", error.empty() ? "takes no arguments" : error.c_str(), PortsUsage);
    return ExitUsage;
  }
  if (parsed.Has("--help")) {
    std::fputs(PortsUsage, stdout);
    return ExitDone;
  }
  const TIniFile ini(CliIniPath(parsed.Value("--ini")));
  SetComOverrides(ReadComOverrides(ini));

  int found = 0;
  for (const TPresentPort& port : PresentComPorts(HighestComNumber)) {
    ++found;
    std::printf("%-6s %-40s %s", ComName(port.Number).c_str(), port.DevicePath.c_str(),
                ComPortOpens(port.Number) ? "opens" : "does not open");
    if (!port.Device.empty()) std::printf("  %s", port.Device.c_str());
    std::printf("\n");
  }
  if (found == 0) std::fprintf(stderr, "qmss ports: no COM name maps to an existing device\n");
  return ExitDone;
}
