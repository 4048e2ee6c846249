#include "cli/Stopsignals.h"

#include <csignal>

#ifdef _WIN32

#include <windows.h>

#include <atomic>

namespace {
std::atomic<int> Pending{0};

BOOL WINAPI OnConsoleEvent(DWORD type) {
  Pending = (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) ? SIGINT : SIGTERM;
  // Handled: the run stops itself and the process exits with its code.
  return TRUE;
}
}  // namespace

void BlockStopSignals() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

int TakeStopSignal() { return Pending.exchange(0); }

#else

#include <sys/signalfd.h>
#include <unistd.h>

namespace {
int SignalFd = -1;

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}
}  // namespace

void BlockStopSignals() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  if (SignalFd < 0) SignalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

int TakeStopSignal() {
  if (SignalFd < 0) return 0;
  signalfd_siginfo info{};
  int signal = 0;
  while (::read(SignalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
    if (signal == 0) signal = static_cast<int>(info.ssi_signo);
  return signal;
}

#endif
