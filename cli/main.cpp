// qmss: the command line's front door. `qmss info` is often run in scripts,
// file after file, so it runs here, in a program that links neither Qt nor
// the worker thread and starts in a few milliseconds. Every other command
// (and the usage texts) is the business of qmss-full beside this program:
// it replaces this process, keeping its arguments, process id, signals and
// exit code.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace {

// qmss-full in the folder of this program's own file.
std::string FullProgramPath() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "qmss-full";  // then the search path decides
  std::string path(self, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "qmss-full";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "info") == 0)
    return RunInfoCommand(std::vector<std::string>(argv + 2, argv + argc));

  const std::string full = FullProgramPath();
  argv[0] = const_cast<char*>(full.c_str());
  if (full.find('/') != std::string::npos)
    execv(full.c_str(), argv);
  else
    execvp(full.c_str(), argv);
  std::fprintf(stderr, "qmss: cannot start %s: %s; it belongs in the same folder as qmss (rebuild or reinstall)\n",
               full.c_str(), std::strerror(errno));
  return ExitUsage;
}
