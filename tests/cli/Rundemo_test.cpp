// scripts/run-demo, the first run of `make run`: headless it downloads the
// sample with qmss and verifies the simulator's flash; with a display (Xvfb
// here) it opens the desktop app wired to the simulator and, with
// RUN_DEMO_SECONDS, closes it again unattended.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "tests/cli/Qmssprocess.h"

namespace {

const std::string Script = std::string(QMSS_SOURCE_DIR) + "/scripts/run-demo";
const std::string AppProgram = std::string(QMSS_BINARY_DIR) + "/app/QMScaleService";

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "";
  size_t from = 0;
  while (from <= list.size()) {
    const size_t to = std::min(list.find(':', from), list.size());
    if (::access((list.substr(from, to - from) + "/" + program).c_str(), X_OK) == 0) return true;
    from = to + 1;
  }
  return false;
}

// The environment of a user's shell; the work folder the script makes goes
// below the test's own folder.
QProcessEnvironment DemoEnvironment(const TCliFolder& dir) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("QMSS_INI");
  env.remove("RUN_DEMO_SECONDS");
  // The test runner renders widgets offscreen; the app here is to use Xvfb.
  env.remove("QT_QPA_PLATFORM");
  env.insert("TMPDIR", QString::fromStdString(dir.Path()));
  return env;
}

// The INI beside the app (what it would use without QMSS_INI); absent is "".
std::string AppIni() {
  TCliFolder any;
  return any.Read(std::string(QMSS_BINARY_DIR) + "/app/QMScaleService.INI");
}

TEST(RunDemo, WithoutDisplayDownloadsAndVerifies) {
  if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  TCliFolder dir;
  // About 8 s: the download's own waits around each processor's reboot.
  const TQmssResult r = dir.RunProgram(Script, {QMSS_BINARY_DIR}, 120000, DemoEnvironment(dir));
  EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_NE(r.Out.find("No display: downloading with qmss."), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("verified: every processor's flash holds the image"), std::string::npos) << r.Out << r.Err;
}

TEST(RunDemo, WithDisplayOpensTheAppOnTheSimulatorAndClosesIt) {
  if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  if (::access(AppProgram.c_str(), X_OK) != 0) GTEST_SKIP() << "the desktop app is not built in " << QMSS_BINARY_DIR;
  if (!OnPath("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed (Debian package xvfb)";
  TCliFolder dir;
  QProcessEnvironment env = DemoEnvironment(dir);
  env.insert("RUN_DEMO_SECONDS", "3");
  const std::string iniBefore = AppIni();

  const TQmssResult r = dir.RunProgram("xvfb-run", {"-a", Script, QMSS_BINARY_DIR}, 120000, env);
  EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_NE(r.Out.find("Opening the desktop app for 3 s."), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("app ran 3 s: opened COM99 (/dev/"), std::string::npos) << r.Out << r.Err;
  // The app was given the demo's own INI: the one beside it is as it was.
  EXPECT_EQ(AppIni(), iniBefore);
}

}  // namespace
