// One download to several ports at the same time: each port is programmed by
// a worker process of its own (this program again, for that one port, with
// its own channel and its own log "LOG-<port>.TXT"), whose --json events this
// process reads to show one progress line per port and, at the end, a table
// of port, outcome, bytes and seconds.
#pragma once

#include <string>
#include <vector>

#include "cli/Downloadrun.h"

// workerArgs: "download", the kind and the file; options: the line options
// every worker gets. The exit code: 0 when every port succeeded, otherwise
// the highest code of any port.
int RunParallelDownloads(const std::vector<std::string>& workerArgs, const std::vector<std::string>& options,
                         const std::vector<std::string>& ports, const TDownloadOutput& output);

// The outcome column of the table for a worker's exit code.
std::string OutcomeText(int exitCode);
