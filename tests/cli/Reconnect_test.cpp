// qmss download k7310 with the cable to a simulated K7310 pulled in the
// middle of the run: with --reconnect the command waits for the port, starts
// the run again from the beginning once it is back, and ends verified;
// without it, or when the port stays away, it ends with the run's failure.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <cstdlib>
#include <iostream>

#include "sim/Simulators.h"
#include "tests/cli/Qmssprocess.h"
#include "tests/cli/Testimages.h"
#include "tests/support/Cable.h"

namespace {

struct ReconnectCase {
  const char* Name;
  std::vector<std::string> Options;  // added to the command
  bool PlugBack;                     // the cable goes back in after 2 s
  int ExitCode;
  std::vector<std::string> Said;     // lines on stderr, in this order
};

void PrintTo(const ReconnectCase& c, std::ostream* out) { *out << c.Name; }

class ReconnectTest : public ::testing::TestWithParam<ReconnectCase> {
 protected:
  void SetUp() override {
    if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
    SimOptions options;
    options.Awake = true;
    Sim = MakeSimulator(SimKind::K7310, options);
    std::string error;
    ASSERT_TRUE(Sim->Start(error)) << error;
    Cable = std::make_unique<TCable>(Dir.Path("ttyCABLE0"), Sim->SlavePath());
    ASSERT_TRUE(Cable->Plug());
  }
  void TearDown() override {
    Cable.reset();
    if (Sim) Sim->Stop();
  }

  // Waits for the process, taking its error output meanwhile, until done()
  // or ms have passed.
  void Serve(QProcess& qmss, int ms, const std::function<bool()>& done = {}) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms && !(done && done()) && qmss.state() != QProcess::NotRunning) {
      qmss.waitForReadyRead(20);
      Err += qmss.readAllStandardError().toStdString();
    }
    Err += qmss.readAllStandardError().toStdString();
  }

  TCliFolder Dir;
  std::unique_ptr<SimDevice> Sim;
  std::unique_ptr<TCable> Cable;
  std::string Err;
};

TEST_P(ReconnectTest, APulledCableEndsTheRunOrItStartsAgainOnceTheCableIsBack) {
  const ReconnectCase& c = GetParam();
  const std::vector<uint8_t> part = SeededBytes(0x6000, 77);
  const std::string file = Dir.Write("total.hex", PartFile(part));
  QStringList args = {"download", "k7310", QString::fromStdString(file), "-p", QString::fromStdString(Cable->Path()),
                      "--baud", "115200"};
  for (const std::string& option : c.Options) args << QString::fromStdString(option);
  QProcess qmss;
  qmss.setWorkingDirectory(QString::fromStdString(Dir.Path()));
  qmss.setProcessEnvironment(Dir.Environment());
  qmss.start(QString::fromStdString(QmssProgram()), args);
  ASSERT_TRUE(qmss.waitForStarted(10000));

  Serve(qmss, 30000, [&] { return Sim->Received().size() > 6000; });
  ASSERT_GT(Sim->Received().size(), 6000u) << Err;
  Cable->Unplug();
  Serve(qmss, 2000);
  if (c.PlugBack) {
    ASSERT_TRUE(Cable->Plug());
  }
  Serve(qmss, 120000);
  ASSERT_EQ(qmss.state(), QProcess::NotRunning) << Err;
  EXPECT_EQ(qmss.exitCode(), c.ExitCode) << Err;
  size_t at = 0;
  for (const std::string& line : c.Said) {
    const size_t found = Err.find(line, at);
    EXPECT_NE(found, std::string::npos) << "\"" << line << "\" (in order) in:\n" << Err;
    if (found != std::string::npos) at = found + line.size();
  }

  const std::string log = Dir.Read("LOG.TXT");
  // A device path given to qmss is logged under the COM name it was mapped to.
  const size_t failed = log.find("total.hex, COM");
  ASSERT_NE(failed, std::string::npos) << log;
  EXPECT_NE(log.find(": failed: Communication: ", failed), std::string::npos) << log;
  if (c.ExitCode == 0) {
    EXPECT_NE(log.find(": verified, 24576 bytes, ", failed), std::string::npos) << log;
    if (std::getenv("QMSS_PRINT_LOG")) std::cout << log << Err;
    Sim->Stop();
    std::string error;
    ASSERT_TRUE(Sim->Dump(Dir.Path("dump"), error)) << error;
    const std::string flash = Dir.Read("dump/main.bin");
    const std::string want = std::string(part.begin(), part.end()) + std::string(0x80000 - part.size(), '\xFF');
    EXPECT_TRUE(flash == want) << FirstDifference(flash, want);
  }
}

const std::string Waiting = "qmss download: waiting up to ";

INSTANTIATE_TEST_SUITE_P(
    Cable, ReconnectTest,
    ::testing::Values(
        ReconnectCase{"BackWithinTheWait",
                      {"--reconnect", "30"},
                      true,
                      0,
                      {"qmss: Communication: ", Waiting + "30 s for ", " is back; starting the run again from the beginning",
                       "qmss download: done, every part verified (Ready for download)"}},
        ReconnectCase{"StaysAway", {"--reconnect", "3"}, false, 1, {"qmss: Communication: ", Waiting + "3 s for ",
                                                                    " did not come back within 3 s"}},
        ReconnectCase{"NoWaitingByDefault", {}, true, 1, {"qmss: Communication: ", "qmss download: the run failed on "}}),
    [](const ::testing::TestParamInfo<ReconnectCase>& param) { return std::string(param.param.Name); });

}  // namespace
