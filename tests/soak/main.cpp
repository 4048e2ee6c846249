// qmss_soak: a fault soak of every download against the simulators.
//
//   qmss_soak [--n N] [--seed S] [--only kind:seed,...] [--jobs J] [--scale X] [--logs DIR]
//     runs N downloads of each kind (k7310, trx5170l, params) with seeds S,
//     S+1, ..., each in a child process, J at a time, and prints the counts.
//     The environment gives the defaults: SOAK_N (50), SOAK_SEED (1),
//     SOAK_ONLY, SOAK_JOBS (6), SOAK_SCALE (1; stretches every deadline, for
//     valgrind or sanitizer builds), SOAK_LOGS (soak-logs).
//   qmss_soak --run kind:seed [--result FILE] [--scale X]
//     one run in this process (what the children do; also the way to run one
//     under valgrind). Exit code 0 when verified.
#include <QCoreApplication>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

#include "tests/soak/Soakdriver.h"
#include "tests/soak/Soakrun.h"

namespace {

std::string Env(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr,
               "qmss_soak: %s\n"
               "usage: qmss_soak [--n N] [--seed S] [--only kind:seed,...] [--jobs J] [--scale X] [--logs DIR]\n"
               "       qmss_soak --run kind:seed [--result FILE] [--scale X]\n"
               "kinds: k7310, trx5170l, params\n",
               problem.c_str());
  return 2;
}

bool ParseRuns(const std::string& text, std::vector<std::pair<SimKind, uint64_t>>& runs) {
  size_t from = 0;
  while (from <= text.size()) {
    const size_t comma = text.find(',', from);
    const std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    SimKind kind;
    uint64_t seed = 0;
    if (!ParseSoakRunName(item, kind, seed)) return false;
    runs.emplace_back(kind, seed);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return !runs.empty();
}

bool ToNumber(const std::string& text, long long low, long long& value) {
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return !text.empty() && end && *end == '\0' && value >= low;
}

std::string ThisProgram(const char* argv0) {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return argv0;
  path[n] = '\0';
  return path;
}

int RunOne(int argc, char** argv, const std::string& name, const std::string& resultFile, double scale) {
  SimKind kind;
  uint64_t seed = 0;
  if (!ParseSoakRunName(name, kind, seed)) return Usage("not a run: " + name);
  QCoreApplication app(argc, argv);
  const SoakResult result = RunSoak(kind, seed, scale, std::cout);
  std::cout.flush();
  const std::string text = FormatSoakResult(result);
  if (resultFile.empty()) {
    std::cout << text;
  } else {
    std::ofstream(resultFile, std::ios::binary | std::ios::trunc) << text;
  }
  return result.Verified ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  SoakSettings settings;
  std::string run, resultFile;
  std::string n = Env("SOAK_N", "50"), seed = Env("SOAK_SEED", "1"), only = Env("SOAK_ONLY", "");
  std::string jobs = Env("SOAK_JOBS", "6"), scale = Env("SOAK_SCALE", "1");
  settings.LogDir = Env("SOAK_LOGS", "soak-logs");
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--n") n = value;
    else if (arg == "--seed") seed = value;
    else if (arg == "--only") only = value;
    else if (arg == "--jobs") jobs = value;
    else if (arg == "--scale") scale = value;
    else if (arg == "--logs") settings.LogDir = value;
    else if (arg == "--run") run = value;
    else if (arg == "--result") resultFile = value;
    else return Usage("unknown option " + arg);
  }
  char* end = nullptr;
  settings.Scale = std::strtod(scale.c_str(), &end);
  if (!end || *end != '\0' || settings.Scale <= 0.0) return Usage("the deadline scale must be a number above 0: " + scale);
  if (!run.empty()) return RunOne(argc, argv, run, resultFile, settings.Scale);

  long long number = 0;
  if (!ToNumber(n, 1, number)) return Usage("the run count must be a number from 1: " + n);
  settings.Runs = static_cast<int>(number);
  if (!ToNumber(seed, 0, number)) return Usage("the seed must be a number: " + seed);
  settings.Seed = static_cast<uint64_t>(number);
  if (!ToNumber(jobs, 1, number)) return Usage("the job count must be a number from 1: " + jobs);
  settings.Jobs = static_cast<int>(number);
  if (!only.empty() && !ParseRuns(only, settings.Only))
    return Usage("SOAK_ONLY takes kind:seed[,kind:seed...]: " + only);
  settings.Program = ThisProgram(argv[0]);
  return RunSoakDriver(settings);
}
