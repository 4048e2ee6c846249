#include "cli/Paralleldownload.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "cli/Commands.h"
#include "cli/Downloadlog.h"
#include "cli/Figuretext.h"
#include "cli/Jsonfields.h"
#include "cli/Jsonline.h"

#ifndef _WIN32
namespace {

constexpr auto RedrawInterval = std::chrono::milliseconds(100);

struct TWorker {
  std::string Port;
  std::string LogFile;
  pid_t Pid = -1;
  int OutFd = -1;  // its JSON events
  int ErrFd = -1;  // its errors and closing line
  std::string OutBuffer, ErrBuffer;
  bool Exited = false;
  int ExitCode = -1;
  // From its events.
  std::string Phase = "starting";
  double Percent = 0;
  int64_t BytesDone = 0, BytesTotal = 0;
  double Rate = 0, Elapsed = 0, Left = -1;
  bool GotDone = false;
  int64_t DoneBytes = 0;
  double DoneSeconds = 0;
  int LastTenth = -1;
  std::string LastPhase;
};

// This program's own file, for the workers.
std::string SelfProgram() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
}

bool Spawn(const std::string& program, const std::vector<std::string>& args, TWorker& worker, std::string& error) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    ::close(out[0]);
    ::close(out[1]);
    return false;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::strerror(errno);
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
    return false;
  }
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    execv(program.c_str(), argv.data());
    _exit(ExitUsage);
  }
  ::close(out[1]);
  ::close(err[1]);
  worker.Pid = pid;
  worker.OutFd = out[0];
  worker.ErrFd = err[0];
  return true;
}

class TParallelRun {
 public:
  TParallelRun(std::vector<TWorker>& workers, const TDownloadOutput& output)
      : Workers(workers), Options(output), Live(::isatty(STDERR_FILENO) == 1 && !output.Quiet && !output.Json) {}

  void Event(TWorker& w, const std::string& line) {
    std::map<std::string, std::string> f;
    if (!ReadJsonFields(line, f)) return;
    if (Options.Json) {
      // The worker's event with its port first.
      std::printf("{\"port\":%s,%s\n", JsonText(w.Port).c_str(), line.substr(line.find('{') + 1).c_str());
      std::fflush(stdout);
    }
    const std::string& event = f["event"];
    if (event == "progress") {
      w.Phase = f["phase"];
      w.Percent = std::atof(f["percent"].c_str());
      w.BytesDone = std::atoll(f["bytes_done"].c_str());
      w.BytesTotal = std::atoll(f["bytes_total"].c_str());
      w.Rate = std::atof(f["bytes_per_s"].c_str());
      w.Elapsed = std::atof(f["elapsed_s"].c_str());
      w.Left = f["left_s"] == "null" ? -1 : std::atof(f["left_s"].c_str());
      if (!Live && !Options.Quiet && !Options.Json) {
        // One line per step, and at every tenth of the run.
        const int tenth = static_cast<int>(w.Percent / 10);
        if (tenth != w.LastTenth || w.Phase != w.LastPhase)
          Put(w.Port + ": " + w.Phase + "  " + std::to_string(static_cast<int>(w.Percent)) + "%  " +
              GroupedNumber(w.BytesDone) + " of " + GroupedNumber(w.BytesTotal) + " bytes\n");
        w.LastTenth = tenth;
        w.LastPhase = w.Phase;
      }
    } else if (event == "done") {
      w.GotDone = true;
      w.DoneBytes = std::atoll(f["bytes"].c_str());
      w.DoneSeconds = std::atof(f["seconds"].c_str());
      w.Phase = f["ok"] == "true" ? "done" : "ended";
    }
    Redraw(false);
  }

  // A line the worker wrote on stderr (errors, its closing line, -v lines).
  void ErrorLine(const TWorker& w, const std::string& line) {
    ClearBlock();
    Put(w.Port + ": " + line + "\n");
    Redraw(true);
  }

  void Redraw(bool force) {
    if (!Live) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - LastDraw < RedrawInterval) return;
    LastDraw = now;
    ClearBlock();
    std::string block;
    for (const TWorker& w : Workers) block += "\033[K" + LiveLine(w) + "\n";
    Put(block);
    BlockLines = static_cast<int>(Workers.size());
  }

  void Finish() {
    if (Live) {
      Redraw(true);
      BlockLines = 0;
    }
  }

 private:
  size_t PortWidth() const {
    size_t width = 4;
    for (const TWorker& w : Workers) width = std::max(width, w.Port.size());
    return width;
  }

  std::string LiveLine(const TWorker& w) const {
    std::string port = w.Port;
    port.resize(PortWidth(), ' ');
    if (w.Exited) return port + "  " + OutcomeText(w.ExitCode);
    constexpr int Width = 20;
    const int filled = std::clamp(static_cast<int>(w.Percent * Width / 100), 0, Width);
    return port + "  " + w.Phase + "  [" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(Width - filled), '.') + "] " + std::to_string(static_cast<int>(w.Percent)) +
           "%  " + GroupedNumber(w.BytesDone) + " of " + GroupedNumber(w.BytesTotal) + " bytes  " +
           GroupedNumber(std::lround(w.Rate)) + " bytes/s  " + ClockText(w.Elapsed) + " elapsed  " +
           ClockText(w.Left) + " left";
  }

  void ClearBlock() {
    if (!Live || BlockLines == 0) return;
    Put("\033[" + std::to_string(BlockLines) + "A\r\033[J");
    BlockLines = 0;
  }

  static void Put(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  }

  std::vector<TWorker>& Workers;
  TDownloadOutput Options;
  bool Live;
  int BlockLines = 0;
  std::chrono::steady_clock::time_point LastDraw{};
};

// Complete lines out of a buffer that a read appended to.
std::vector<std::string> TakeLines(std::string& buffer, bool all) {
  std::vector<std::string> lines;
  size_t at;
  while ((at = buffer.find('\n')) != std::string::npos) {
    lines.push_back(buffer.substr(0, at));
    buffer.erase(0, at + 1);
  }
  if (all && !buffer.empty()) {
    lines.push_back(buffer);
    buffer.clear();
  }
  return lines;
}

int WorkerExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return ExitFailed;
}

}  // namespace
#endif

std::string OutcomeText(int exitCode) {
  switch (exitCode) {
    case ExitDone: return "done";
    case ExitFailed: return "not finished (exit 1)";
    case ExitUsage: return "usage or file (exit 2)";
    case ExitLoadReport: return "load report problems (exit 3)";
    case ExitPortFailed: return "port did not open (exit 4)";
    case ExitNoAnswer: return "no answer (exit 5)";
    case ExitInterrupt: return "stopped by SIGINT (exit 130)";
    case ExitTerminate: return "stopped by SIGTERM (exit 143)";
    default: return "failed (exit " + std::to_string(exitCode) + ")";
  }
}

#ifdef _WIN32
// The workers are processes of this program fed through pipes and stopped by
// signals, which this build does not have on Windows yet.
int RunParallelDownloads(const std::vector<std::string>& workerArgs, const std::vector<std::string>& options,
                         const std::vector<std::string>& ports, const TDownloadOutput& output) {
  std::fprintf(stderr, "qmss download: several ports at once are not available on Windows yet; "
                       "start one qmss download per port\n");
  return ExitUsage;
}
#else
int RunParallelDownloads(const std::vector<std::string>& workerArgs, const std::vector<std::string>& options,
                         const std::vector<std::string>& ports, const TDownloadOutput& output) {
  const std::string self = SelfProgram();
  if (self.empty()) {
    std::fprintf(stderr, "qmss download: cannot find this program's own file to start a process per port\n");
    return ExitUsage;
  }
  // SIGINT and SIGTERM are blocked in this process; taken from a signalfd and
  // passed on to every worker, which stops its run as Ctrl-C stops one.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);

  std::vector<TWorker> workers(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) {
    TWorker& w = workers[i];
    w.Port = ports[i];
    w.LogFile = PortLogFileName(ports[i]);
    std::vector<std::string> args = workerArgs;
    for (const std::string& word : {std::string("-p"), w.Port, std::string("--json"), std::string("--log"), w.LogFile})
      args.push_back(word);
    args.insert(args.end(), options.begin(), options.end());
    std::string error;
    if (!Spawn(self, args, w, error)) {
      std::fprintf(stderr, "qmss download: %s: could not start a process for the port: %s\n", w.Port.c_str(),
                   error.c_str());
      w.Exited = true;
      w.ExitCode = ExitUsage;
    }
  }
  if (!output.Quiet && !output.Json) {
    std::fprintf(stderr, "qmss download: %s to %zu ports at once:", workerArgs.back().c_str(), ports.size());
    for (const TWorker& w : workers) std::fprintf(stderr, " %s (log %s)", w.Port.c_str(), w.LogFile.c_str());
    std::fprintf(stderr, "\n");
  }

  TParallelRun run(workers, output);
  int forwarded = 0;
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<std::pair<TWorker*, bool>> owners;  // bool: its stdout
    for (TWorker& w : workers) {
      if (w.OutFd >= 0) {
        fds.push_back({w.OutFd, POLLIN, 0});
        owners.emplace_back(&w, true);
      }
      if (w.ErrFd >= 0) {
        fds.push_back({w.ErrFd, POLLIN, 0});
        owners.emplace_back(&w, false);
      }
    }
    if (fds.empty()) break;  // every worker has closed its output
    if (signalFd >= 0) fds.push_back({signalFd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR) break;
    for (size_t k = 0; k < owners.size(); ++k) {
      if (fds[k].revents == 0) continue;
      auto [w, isOut] = owners[k];
      int& fd = isOut ? w->OutFd : w->ErrFd;
      std::string& buffer = isOut ? w->OutBuffer : w->ErrBuffer;
      char chunk[4096];
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      const bool closed = n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN);
      if (n > 0) buffer.append(chunk, static_cast<size_t>(n));
      for (const std::string& line : TakeLines(buffer, closed)) {
        if (isOut)
          run.Event(*w, line);
        else
          run.ErrorLine(*w, line);
      }
      if (closed) {
        ::close(fd);
        fd = -1;
      }
    }
    if (signalFd >= 0 && fds.back().revents != 0) {
      signalfd_siginfo info{};
      while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (forwarded == 0) forwarded = static_cast<int>(info.ssi_signo);
        for (TWorker& w : workers)
          if (w.Pid > 0 && !w.Exited) ::kill(w.Pid, static_cast<int>(info.ssi_signo));
      }
    }
    run.Redraw(false);
  }
  for (TWorker& w : workers) {
    if (w.Pid <= 0) continue;
    int status = 0;
    while (::waitpid(w.Pid, &status, 0) < 0 && errno == EINTR) {
    }
    w.Exited = true;
    w.ExitCode = WorkerExitCode(status);
  }
  if (signalFd >= 0) ::close(signalFd);
  run.Finish();

  int code = ExitDone;
  for (const TWorker& w : workers) code = std::max(code, w.ExitCode);

  // The table: on stderr with the other human lines, as a summary event with --json.
  size_t width = 4;
  for (const TWorker& w : workers) width = std::max(width, w.Port.size());
  std::fprintf(stderr, "%-*s  %-30s  %10s  %8s  %s\n", static_cast<int>(width), "port", "outcome", "bytes", "seconds",
               "log");
  std::string rows = "[";
  for (const TWorker& w : workers) {
    std::fprintf(stderr, "%-*s  %-30s  %10s  %8.1f  %s\n", static_cast<int>(width), w.Port.c_str(),
                 OutcomeText(w.ExitCode).c_str(), GroupedNumber(w.DoneBytes).c_str(), w.DoneSeconds,
                 w.LogFile.c_str());
    rows += std::string(rows.size() > 1 ? "," : "") +
            TJsonLine().Text("port", w.Port).Bool("ok", w.ExitCode == ExitDone).Integer("exit_code", w.ExitCode)
                .Integer("bytes", w.DoneBytes).Number("seconds", w.DoneSeconds, 1).Text("log", w.LogFile).Get();
  }
  std::fflush(stderr);
  if (output.Json)
    TJsonLine("summary").Bool("ok", code == ExitDone).Integer("exit_code", code).Raw("ports", rows + "]").Print();
  return code;
}
#endif
