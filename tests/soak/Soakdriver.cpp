#include "tests/soak/Soakdriver.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/soak/Soakresult.h"
#include "tests/soak/Soakrun.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr SimKind Kinds[] = {SimKind::K7310, SimKind::Trx5170l, SimKind::Params};

struct Child {
  SimKind Kind;
  uint64_t Seed;
  pid_t Pid = -1;
  std::string LogPath, ResultPath;
  Clock::time_point Started, KillAt;
  bool Killed = false;
};

struct KindTotals {
  int Runs = 0, Verified = 0, Disconnects = 0, Rebuilds = 0, Failed = 0;
  std::array<long, kSimFaultKinds> Faults{};
  std::map<std::string, int> PortErrors;
  double Seconds = 0.0, Longest = 0.0;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Spawn(const SoakSettings& settings, Child& child) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, child.LogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  const std::string run = SoakRunName(child.Kind, child.Seed);
  const std::string scale = std::to_string(settings.Scale);
  std::vector<std::string> args = {settings.Program, "--run", run, "--result", child.ResultPath, "--scale", scale};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&child.Pid, settings.Program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  child.Started = Clock::now();
  // The run's own deadlines come first; this one catches a run that hangs
  // where no deadline looks (a dead-locked shutdown, a stuck sanitizer).
  const auto limit = std::chrono::duration<double>((2.0 * SoakRunDeadline(child.Kind) + 60.0) * settings.Scale);
  child.KillAt = child.Started + std::chrono::duration_cast<Clock::duration>(limit);
  return rc == 0;
}

// The result of a finished child, with what went wrong around it.
SoakResult Collect(const Child& child, int status) {
  SoakResult result;
  result.Kind = child.Kind;
  result.Seed = child.Seed;
  const bool parsed = ParseSoakResult(ReadAll(child.ResultPath), result);
  result.Seconds = std::chrono::duration<double>(Clock::now() - child.Started).count();
  std::string trouble;
  if (child.Killed) {
    trouble = "hang: killed after " + std::to_string(static_cast<int>(result.Seconds)) + " s";
  } else if (WIFSIGNALED(status)) {
    trouble = std::string("crash: ") + strsignal(WTERMSIG(status));
  } else if (!parsed) {
    trouble = "the run ended (exit code " + std::to_string(WEXITSTATUS(status)) + ") without a result";
  } else if (WEXITSTATUS(status) != (result.Verified ? 0 : 1)) {
    // A sanitizer that finds a leak or an error at exit changes the code.
    trouble = "exit code " + std::to_string(WEXITSTATUS(status)) + " (a sanitizer report?)";
  }
  if (!trouble.empty()) {
    result.Verified = false;
    result.Failure = result.Failure.empty() ? trouble : trouble + "; " + result.Failure;
  }
  return result;
}

void PrintSummary(const std::map<SimKind, KindTotals>& totals, const std::vector<std::pair<SoakResult, std::string>>& failures,
                  double seconds) {
  std::printf("\n%-9s %5s %9s %11s %9s %7s", "kind", "runs", "verified", "disconnects", "rebuilds", "failed");
  for (int i = 0; i < kSimFaultKinds; ++i) std::printf(" %9s", SimFaultName(static_cast<SimFault>(i)));
  std::printf(" %9s\n", "longest s");
  KindTotals all;
  for (SimKind kind : Kinds) {
    auto found = totals.find(kind);
    if (found == totals.end()) continue;
    const KindTotals& t = found->second;
    std::printf("%-9s %5d %9d %11d %9d %7d", SimKindName(kind), t.Runs, t.Verified, t.Disconnects, t.Rebuilds, t.Failed);
    for (int i = 0; i < kSimFaultKinds; ++i) std::printf(" %9ld", t.Faults[i]);
    std::printf(" %9.1f\n", t.Longest);
    all.Runs += t.Runs;
    all.Verified += t.Verified;
    all.Disconnects += t.Disconnects;
    all.Rebuilds += t.Rebuilds;
    all.Failed += t.Failed;
    for (int i = 0; i < kSimFaultKinds; ++i) all.Faults[i] += t.Faults[i];
  }
  std::printf("%-9s %5d %9d %11d %9d %7d", "all", all.Runs, all.Verified, all.Disconnects, all.Rebuilds, all.Failed);
  for (int i = 0; i < kSimFaultKinds; ++i) std::printf(" %9ld", all.Faults[i]);
  std::printf("\n");
  for (SimKind kind : Kinds) {
    auto found = totals.find(kind);
    if (found == totals.end()) continue;
    for (const auto& [text, count] : found->second.PortErrors)
      std::printf("port error shown (%s): \"%s\" x%d\n", SimKindName(kind), text.c_str(), count);
  }
  if (failures.empty()) {
    std::printf("failures: none\n");
  } else {
    std::printf("failures: %zu\n", failures.size());
    for (const auto& [r, log] : failures)
      std::printf("  SOAK_ONLY=%s  %s  (log %s)\n", SoakRunName(r.Kind, r.Seed).c_str(), r.Failure.c_str(), log.c_str());
  }
  std::printf("soak time %.0f s\n", seconds);
}

}  // namespace

int RunSoakDriver(const SoakSettings& settings) {
  std::vector<std::pair<SimKind, uint64_t>> queue = settings.Only;
  if (queue.empty()) {
    // The longest runs first, so that the last jobs to finish are short.
    for (SimKind kind : Kinds)
      for (int i = 0; i < settings.Runs; ++i) queue.emplace_back(kind, settings.Seed + static_cast<uint64_t>(i));
  }
  std::error_code ec;
  std::filesystem::create_directories(settings.LogDir, ec);
  if (ec) {
    std::fprintf(stderr, "qmss_soak: could not create the log folder %s: %s\n", settings.LogDir.c_str(),
                 ec.message().c_str());
    return 2;
  }
  if (settings.Only.empty())
    std::printf("soak: %d runs per kind from seed %llu, %d at a time, logs of failed runs in %s\n", settings.Runs,
                static_cast<unsigned long long>(settings.Seed), settings.Jobs, settings.LogDir.c_str());
  std::fflush(stdout);

  const Clock::time_point start = Clock::now();
  std::map<SimKind, KindTotals> totals;
  std::vector<std::pair<SoakResult, std::string>> failures;
  std::vector<Child> running;
  size_t next = 0;
  while (next < queue.size() || !running.empty()) {
    while (next < queue.size() && static_cast<int>(running.size()) < settings.Jobs) {
      Child child;
      child.Kind = queue[next].first;
      child.Seed = queue[next].second;
      ++next;
      const std::string base = settings.LogDir + "/" + SimKindName(child.Kind) + "-" + std::to_string(child.Seed);
      child.LogPath = base + ".log";
      child.ResultPath = base + ".result";
      std::filesystem::remove(child.ResultPath, ec);
      if (!Spawn(settings, child)) {
        std::fprintf(stderr, "qmss_soak: could not start %s\n", settings.Program.c_str());
        return 2;
      }
      running.push_back(child);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (size_t i = 0; i < running.size();) {
      Child& child = running[i];
      int status = 0;
      const pid_t done = waitpid(child.Pid, &status, WNOHANG);
      if (done == 0) {
        if (!child.Killed && Clock::now() >= child.KillAt) {
          kill(child.Pid, SIGKILL);
          child.Killed = true;
        }
        ++i;
        continue;
      }
      const SoakResult r = Collect(child, status);
      KindTotals& t = totals[r.Kind];
      ++t.Runs;
      t.Verified += r.Verified;
      t.Disconnects += r.Disconnected;
      t.Rebuilds += r.Rebuilt;
      t.Failed += !r.Verified;
      for (int f = 0; f < kSimFaultKinds; ++f) t.Faults[f] += r.Faults[f];
      if (!r.PortError.empty()) ++t.PortErrors[r.PortError];
      t.Longest = std::max(t.Longest, r.Seconds);
      std::printf("%-16s %s %6.1f s%s\n", SoakRunName(r.Kind, r.Seed).c_str(), r.Verified ? "verified" : "FAILED  ",
                  r.Seconds, r.Disconnected ? (r.Rebuilt ? "  disconnect, rebuilt" : "  disconnect") : "");
      if (!r.Verified) {
        std::printf("    %s\n", r.Failure.c_str());
        failures.emplace_back(r, child.LogPath);
      } else if (settings.Only.empty()) {
        std::filesystem::remove(child.LogPath, ec);
      }
      std::filesystem::remove(child.ResultPath, ec);
      std::fflush(stdout);
      running.erase(running.begin() + static_cast<long>(i));
    }
  }
  PrintSummary(totals, failures, std::chrono::duration<double>(Clock::now() - start).count());
  if (!settings.Only.empty())
    for (const auto& [kind, seed] : settings.Only) {
      const std::string log = settings.LogDir + "/" + SimKindName(kind) + "-" + std::to_string(seed) + ".log";
      std::printf("\n--- %s ---\n%s", log.c_str(), ReadAll(log).c_str());
    }
  return failures.empty() ? 0 : 1;
}
