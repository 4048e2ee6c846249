// qmss sim: runs one simulated device until SIGINT or SIGTERM, or until a
// disconnect fault closed its line, then writes the dump.
#include <cstdio>

#include "cli/Commands.h"

#ifdef _WIN32
// The simulators serve on pseudo-terminals, which Windows does not have.
int RunSimCommand(const std::vector<std::string>& args) {
  std::fprintf(stderr,
               "qmss sim: the device simulators run on Linux only (they serve on pseudo-terminals); "
               "run qmss sim there and connect this PC to it with a null-modem cable\n");
  return ExitUsage;
}
#else
#include <csignal>
#include <ctime>
#include <memory>
#include <pthread.h>

#include "sim/Simargs.h"
#include "sim/Simulators.h"

int RunSimCommand(const std::vector<std::string>& args) {
  SimArguments parsed;
  std::string error;
  if (!ParseSimArguments(args, parsed, error)) {
    std::fprintf(stderr, "qmss sim: %s\n%s", error.c_str(), SimUsage().c_str());
    return 2;
  }
  if (parsed.Help) {
    std::fputs(SimUsage().c_str(), stdout);
    return 0;
  }
  if (parsed.Version) {
    std::puts(VersionLine().c_str());
    return 0;
  }

  // The signals are taken by sigtimedwait below; blocked before the device
  // thread starts, so that it inherits the mask and never sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::unique_ptr<SimDevice> sim = MakeSimulator(parsed.Kind, parsed.Options);
  if (!sim->Start(error)) {
    std::fprintf(stderr, "qmss sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("PORT %s\n", sim->SlavePath().c_str());
  std::fflush(stdout);

  timespec slice{0, 100'000'000};
  while (sim->Serving()) {
    int signal = sigtimedwait(&stopSignals, nullptr, &slice);
    if (signal == SIGINT || signal == SIGTERM) break;
  }
  sim->Stop();
  if (sim->Disconnected()) std::fprintf(stderr, "qmss sim: the line was closed by a disconnect fault\n");

  if (!parsed.DumpDir.empty() && !sim->Dump(parsed.DumpDir, error)) {
    std::fprintf(stderr, "qmss sim: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
#endif
