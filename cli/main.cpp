// qmss: every subcommand of the command-line front end. A table of
// subcommands; each one lives in its own file and is declared in Commands.h.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/Clihost.h"
#include "cli/Commands.h"
#include "cli/Stopsignals.h"
#include "files/Version.h"

namespace {

struct Subcommand {
  const char* Name;
  const char* Summary;
  int (*Run)(const std::vector<std::string>& args);
  // Runs the library's model and worker thread, and takes Ctrl-C on the
  // main thread.
  bool HostsModel;
};

const Subcommand kSubcommands[] = {
    {"ports", "list the COM names that map to a device, the adapter behind each and whether it opens", RunPortsCommand, false},
    {"info", "what a HEX file holds (qmss info FILE [--image ...] [--bin OUT])", RunInfoCommand, false},
    {"combine", "build the total HEX file (qmss combine MAIN DISPLAY LCCOMM ETHERNET -o TOTAL)", RunCombineCommand, false},
    {"download", "download firmware (qmss download k7310|trx5170l FILE -p PORT [-p PORT ...])", RunDownloadCommand, true},
    {"params", "send or receive parameters (qmss params send FILE|receive -p PORT)", RunParamsCommand, true},
    {"sim", "simulate a device on a pseudo-terminal (qmss sim --help)", RunSimCommand, false},
    {"sample", "write a small sample firmware set (qmss sample DIR)", RunSampleCommand, false},
};

void Usage(FILE* out) {
  std::fprintf(out, "Usage: qmss COMMAND [options]   (qmss COMMAND --help for its options)\n"
                    "       qmss --version\nCommands:\n");
  for (const Subcommand& command : kSubcommands) std::fprintf(out, "  %-9s %s\n", command.Name, command.Summary);
  std::fprintf(out, "Options: -h, --help (also after each command), --version\n"
                    "Exit codes: 0 done, 1 the device answered but the run did not finish within the time-out,\n"
                    "2 usage error or unreadable input, 3 load report problems (give --force to go on),\n"
                    "4 the port could not be opened, 5 no answer from the device, 130 SIGINT, 143 SIGTERM\n");
}

}  // namespace

std::string VersionLine() {
  return std::string("qmss ") + QMSS_VERSION + " (" + QMSS_BUILD_COMMIT + ", " + QMSS_BUILD_DATE + ")";
}

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return ExitUsage;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    Usage(stdout);
    return ExitDone;
  }
  if (name == "--version") {
    std::puts(VersionLine().c_str());
    return ExitDone;
  }
  for (const Subcommand& command : kSubcommands) {
    if (name != command.Name) continue;
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (!command.HostsModel) return command.Run(args);
    // Before any thread exists, so that every thread inherits the mask and
    // the signals reach only the host.
    BlockStopSignals();
    return command.Run(args);
  }
  std::fprintf(stderr, "qmss: unknown %s \"%s\"\n", name.rfind('-', 0) == 0 ? "option" : "command", name.c_str());
  Usage(stderr);
  return ExitUsage;
}
