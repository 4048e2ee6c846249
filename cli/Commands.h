// The subcommands of the qmss command line. Each takes the words after its
// own name and returns the process's exit code.
#pragma once

#include <string>
#include <vector>

enum TExitCode : int {
  ExitDone = 0,         // the work is done
  ExitFailed = 1,       // the device answered, but the run did not finish within the time-out
  ExitUsage = 2,        // bad usage, unreadable or unusable input
  ExitLoadReport = 3,   // the file's load report found problems and --force was not given
  ExitPortFailed = 4,   // the port could not be opened (the cause is on stderr)
  ExitNoAnswer = 5,     // no byte at all came from the device
  ExitInterrupt = 130,  // stopped by SIGINT (128 + the signal's number, as shells report it)
  ExitTerminate = 143,  // stopped by SIGTERM
};

// "qmss VERSION (COMMIT, DATE)", the line --version prints.
std::string VersionLine();

// qmss sim KIND [options]: a simulated device on a pseudo-terminal.
int RunSimCommand(const std::vector<std::string>& args);
// qmss ports: the COM names that map to a device, and whether each opens.
int RunPortsCommand(const std::vector<std::string>& args);
// qmss info FILE: what a HEX file holds once read into an image.
int RunInfoCommand(const std::vector<std::string>& args);
// qmss combine MAIN DISPLAY LCCOMM ETHERNET -o TOTAL: the total HEX file.
int RunCombineCommand(const std::vector<std::string>& args);
// qmss download k7310|trx5170l FILE --port PORT: a firmware download.
int RunDownloadCommand(const std::vector<std::string>& args);
// qmss params send|receive: parameters to or from a device.
int RunParamsCommand(const std::vector<std::string>& args);
// qmss sample DIR: a small deterministic firmware set and parameter file.
int RunSampleCommand(const std::vector<std::string>& args);
