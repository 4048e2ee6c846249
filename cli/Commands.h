// The subcommands of the qmss command line. Each takes the words after its
// own name and returns the process's exit code.
#pragma once

#include <string>
#include <vector>

enum TExitCode : int {
  ExitDone = 0,        // the work is done
  ExitFailed = 1,      // a device run failed, timed out or was stopped; a port error
  ExitUsage = 2,       // bad usage, unreadable or unusable input
  ExitLoadReport = 3,  // the file's load report found problems and --force was not given
};

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
