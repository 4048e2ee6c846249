// qmss download against the simulated devices run as `qmss sim`: what ends
// up in their flash, and the exit code for a completed run, a file whose load
// report shows problems, and a device that never answers.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <csignal>

#include "tests/cli/Qmssprocess.h"
#include "tests/cli/Testimages.h"
#include "tests/support/Pty.h"

namespace {

constexpr uint32_t Slots[4] = {0x08000000, 0x08080000, 0x08090000, 0x080A0000};
const char* const FlashFiles[4] = {"main.bin", "display.bin", "lccomm.bin", "ethernet.bin"};
constexpr size_t FlashSizes[4] = {0x80000, 0x10000, 0x10000, 0x10000};

// The flash a processor holds after its part was written: the part from the
// start, erased (0xFF) after it.
std::string Flash(const std::vector<uint8_t>& data, size_t size) {
  std::string flash(size, '\xFF');
  std::copy(data.begin(), data.end(), flash.begin());
  return flash;
}

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
    // Small parts; the main part crosses a 2 KiB page and a 256-byte block
    // boundary, the others end inside a block.
    const size_t sizes[4] = {0x900, 0x123, 0x80, 0x101};
    for (int n = 0; n < 4; ++n) Parts[n] = SeededBytes(sizes[n], 40 + static_cast<uint32_t>(n));
  }

  std::string TotalFile() const {
    std::string text;
    for (int n = 0; n < 4; ++n) text += PartFile(Parts[n], Slots[n]);
    return text;
  }

  void ExpectFlashHoldsTheParts(const std::string& dump) {
    for (int n = 0; n < 4; ++n) {
      SCOPED_TRACE(FlashFiles[n]);
      const std::string got = Dir.Read(dump + "/" + FlashFiles[n]);
      const std::string want = Flash(Parts[n], FlashSizes[n]);
      EXPECT_TRUE(got == want) << FirstDifference(got, want);
    }
  }

  TCliFolder Dir;
  std::vector<uint8_t> Parts[4];
};

TEST_F(Download, K7310EveryProcessorWrittenVerifiedAndStarted) {
  const std::string file = Dir.Write("total.hex", TotalFile());
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake", "--dump", Dir.Path("dump")})) << sim.Error();

  // Without --timeout: three times the wire time of about 10,400 bytes at
  // 115200 baud 8E1, plus a minute.
  const TQmssResult r = Dir.Run({"download", "k7310", file, "-p", sim.Port(), "--baud", "115200"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Err.find("qmss download: done"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("to " + sim.Port() + " at 115200 baud, parity E, time-out 63 s"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Out, "");
  ASSERT_EQ(sim.Stop(), 0);
  ExpectFlashHoldsTheParts("dump");
  // One processor after the other, then the main processor once more for the
  // final reboot.
  const std::string summary = CompactJson(Dir.Read("dump/summary.json"));
  EXPECT_NE(summary.find("\"connect_order\":[\"main\",\"display\",\"lccomm\",\"ethernet\",\"main\"]"),
            std::string::npos)
      << summary;
}

TEST_F(Download, LoadReportProblemsStopTheRunUnlessForced) {
  // A file for the main processor alone; its third line is a data record
  // whose checksum characters are wrong, so its data are still what the
  // file says.
  const std::string file = Dir.Write("main.hex", DamageChecksum(PartFile(Parts[0]), 3));
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake", "--dump", Dir.Path("dump")})) << sim.Error();

  const TQmssResult refused = Dir.Run({"download", "k7310", file, "--port", sim.Port(), "--baud", "115200"});
  EXPECT_EQ(refused.ExitCode, 3) << refused.Err;
  EXPECT_NE(refused.Err.find("1 record with a wrong checksum or malformed fields (line 3)"), std::string::npos)
      << refused.Err;
  EXPECT_NE(refused.Err.find("--force"), std::string::npos) << refused.Err;
  // Refused before the port was opened: no log either.
  EXPECT_FALSE(Dir.Exists("LOG.TXT"));

  // Forced, the run ends after the main processor's start: a run whose last
  // processor with data is not the Ethernet one has no final reboot.
  const TQmssResult forced =
      Dir.Run({"download", "k7310", file, "--port", sim.Port(), "--baud", "115200", "--timeout", "60", "--force"});
  EXPECT_EQ(forced.ExitCode, 0) << forced.Err;
  EXPECT_NE(forced.Err.find("qmss download: done, every part verified (Ready for download)"), std::string::npos) << forced.Err;
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_TRUE(Dir.Read("dump/main.bin") == Flash(Parts[0], FlashSizes[0]));
  for (int n = 1; n < 4; ++n) EXPECT_TRUE(Dir.Read(std::string("dump/") + FlashFiles[n]) == Flash({}, FlashSizes[n]));
  EXPECT_NE(CompactJson(Dir.Read("dump/summary.json")).find("\"connect_order\":[\"main\"]"), std::string::npos);
}

TEST_F(Download, Trx5170lFlashHoldsTheStampedImageAtTheIniLineSettings) {
  const std::vector<HexChunk> chunks = {{0x000E0000, SeededBytes(0x230, 60)}, {0x000F0000, SeededBytes(0x41, 61)}};
  const std::string file = Dir.Write("trx.hex", IntelHex(chunks));
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"trx5170l", "--dump", Dir.Path("dump")})) << sim.Error();
  // The port by its COM name and the rate from the operation's section.
  const std::string ini = "[Software Download - TRX5170L]\r\nBAUDRATE=57600\r\nPARITY=N\r\n[PORTS]\r\nCOM7=" +
                          sim.Port() + "\r\n";
  Dir.Write(Dir.IniPath(), ini);

  const TQmssResult r = Dir.Run({"download", "trx5170l", file, "--port", "COM7", "--timeout", "60"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Err.find("to COM7 (" + sim.Port() + ") at 57600 baud, parity N"), std::string::npos) << r.Err;
  ASSERT_EQ(sim.Stop(), 0);

  std::vector<uint8_t> want = TrxStamped(ImageBinary(chunks, 0x000E0000, 0x20000));
  want.resize(0x20000, 0xFF);
  const std::string got = Dir.Read("dump/flash.bin");
  EXPECT_TRUE(got == std::string(want.begin(), want.end())) << FirstDifference(got, std::string(want.begin(), want.end()));
  // The boot loader is unlocked at 1200 baud, then switched to the INI's rate.
  const std::string summary = CompactJson(Dir.Read("dump/summary.json"));
  EXPECT_NE(summary.find("\"baud_rates\":[1200,57600"), std::string::npos) << summary;
  EXPECT_EQ(Dir.Read(Dir.IniPath()), ini) << "qmss must never write the INI file";
}

// 14400 baud has no termios speed constant; the dialog offers it all the
// same. The device switches to it after its answer to 0xE3, and back to 1200
// after the closing frame.
TEST_F(Download, Trx5170lAt14400Baud) {
  const std::vector<HexChunk> chunks = {{0x000E0000, SeededBytes(0x90, 62)}};
  const std::string file = Dir.Write("trx.hex", IntelHex(chunks));
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"trx5170l", "--dump", Dir.Path("dump")})) << sim.Error();

  const TQmssResult r =
      Dir.Run({"download", "trx5170l", file, "--port", sim.Port(), "--baud", "14400", "--timeout", "60"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Err.find("at 14400 baud"), std::string::npos) << r.Err;
  ASSERT_EQ(sim.Stop(), 0);

  std::vector<uint8_t> want = TrxStamped(ImageBinary(chunks, 0x000E0000, 0x20000));
  want.resize(0x20000, 0xFF);
  const std::string got = Dir.Read("dump/flash.bin");
  EXPECT_TRUE(got == std::string(want.begin(), want.end())) << FirstDifference(got, std::string(want.begin(), want.end()));
  const std::string summary = CompactJson(Dir.Read("dump/summary.json"));
  EXPECT_NE(summary.find("\"baud_rates\":[1200,14400,1200]"), std::string::npos) << summary;
}

// The simulators carry bytes no faster than a 1200-baud line would (11 bits a
// byte, 8E1), like a USB adapter that still holds a frame when the write has
// returned: a 257-byte data frame needs 2.4 s on the line, a 256-byte
// read-back keeps the device sending for 2.35 s. Small images: these runs
// cost their wire time.
TEST_F(Download, K7310MainAndDisplayOnAPaced1200BaudLine) {
  const std::vector<uint8_t> mainPart = SeededBytes(0x120, 70);
  const std::vector<uint8_t> display = SeededBytes(0x110, 71);
  const std::string file = Dir.Write("total.hex", PartFile(mainPart, Slots[0]) + PartFile(display, Slots[1]));
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake", "--pace", "--parity", "E", "--dump", Dir.Path("dump")}))
      << sim.Error();

  const TQmssResult r = Dir.Run(
      {"download", "k7310", file, "--port", sim.Port(), "--baud", "1200", "--parity", "E", "--timeout", "150"},
      200000);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_TRUE(Dir.Read("dump/main.bin") == Flash(mainPart, FlashSizes[0]));
  EXPECT_TRUE(Dir.Read("dump/display.bin") == Flash(display, FlashSizes[1]));
  // Nothing went wrong on the way: no reply timed out or was refused.
  EXPECT_FALSE(Dir.Exists("LOG.TXT") && Dir.Read("LOG.TXT").find("Timeout") != std::string::npos)
      << Dir.Read("LOG.TXT");
  const std::string summary = CompactJson(Dir.Read("dump/summary.json"));
  EXPECT_NE(summary.find("\"connect_order\":[\"main\",\"display\"]"), std::string::npos) << summary;
  EXPECT_NE(summary.find("\"route_fallbacks\":0"), std::string::npos) << summary;
}

TEST_F(Download, Trx5170lOnAPaced1200BaudLine) {
  const std::vector<HexChunk> chunks = {{0x000E0000, SeededBytes(0x70, 63)}};
  const std::string file = Dir.Write("trx.hex", IntelHex(chunks));
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"trx5170l", "--pace", "--parity", "E", "--dump", Dir.Path("dump")})) << sim.Error();

  const TQmssResult r =
      Dir.Run({"download", "trx5170l", file, "--port", sim.Port(), "--baud", "1200", "--timeout", "60"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  ASSERT_EQ(sim.Stop(), 0);
  std::vector<uint8_t> want = TrxStamped(ImageBinary(chunks, 0x000E0000, 0x20000));
  want.resize(0x20000, 0xFF);
  const std::string got = Dir.Read("dump/flash.bin");
  EXPECT_TRUE(got == std::string(want.begin(), want.end())) << FirstDifference(got, std::string(want.begin(), want.end()));
}

// A device that answers, but never lets the run finish (it refuses every
// command): exit 1 at the time-out, not the no-answer exit 5.
TEST_F(Download, AnsweringDeviceThatNeverFinishesEndsWithExitOne) {
  const std::string file = Dir.Write("total.hex", TotalFile());
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake", "--nack", "1"})) << sim.Error();
  const TQmssResult r = Dir.Run({"download", "k7310", file, "-p", sim.Port(), "--baud", "115200", "--timeout", "5",
                                 "--connect-timeout", "3"});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_NE(r.Err.find("no end of the run within 5 s; stopping the run"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Err.find("no answer from the device"), std::string::npos) << r.Err;
  EXPECT_LT(r.Seconds, 15.0);
}

// SIGINT and SIGTERM in the middle of a run (a paced 1200-baud line, so that
// the run is still going): the run is stopped, and the exit code says which
// signal stopped it.
TEST_F(Download, SignalsStopTheRunWithTheirExitCodes) {
  const std::string file = Dir.Write("total.hex", TotalFile());
  for (const auto& [signal, code] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(signal);
    TSimProcess sim;
    ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake", "--pace", "--parity", "E"})) << sim.Error();
    QProcess run;
    run.setWorkingDirectory(QString::fromStdString(Dir.Path()));
    run.setProcessEnvironment(Dir.Environment());
    run.start(QString::fromStdString(QmssProgram()),
              {"download", "k7310", QString::fromStdString(file), "-p", QString::fromStdString(sim.Port()), "--baud",
               "1200", "--parity", "E"});
    ASSERT_TRUE(run.waitForStarted(10000));
    // Until the first block is on its way.
    QByteArray err;
    QElapsedTimer clock;
    clock.start();
    while (!err.contains("of 2304 bytes") && clock.elapsed() < 30000) {
      run.waitForReadyRead(100);
      err += run.readAllStandardError();
    }
    ASSERT_TRUE(err.contains("of 2304 bytes")) << err.toStdString();
    ::kill(static_cast<pid_t>(run.processId()), signal);
    ASSERT_TRUE(run.waitForFinished(15000));
    err += run.readAllStandardError();
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), code) << err.toStdString();
    EXPECT_TRUE(err.contains("qmss download: stopped; stopping the run")) << err.toStdString();
  }
}

// A port that another program already has open: qmss says so on the line
// after the fixed text, naming the program, and the log keeps both lines.
TEST(DownloadPort, APortHeldByAnotherProgramIsNamedOnStderrAndInTheLog) {
  if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  TCliFolder dir;
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  const std::string file = dir.Write("f.hex", PartFile(SeededBytes(0x40, 1)));
  QProcess other;
  other.setStandardInputFile(QString::fromStdString(pty.SlavePath()));
  other.start("sleep", {"30"});
  ASSERT_TRUE(other.waitForStarted());
  const std::string pid = std::to_string(other.processId());

  TQmssResult r;
  for (int attempt = 0; attempt < 20; ++attempt) {  // until the sleep has the port open
    r = dir.Run({"download", "k7310", file, "--port", pty.SlavePath(), "--timeout", "5"});
    if (r.Err.find("process " + pid) != std::string::npos) break;
  }
  other.kill();
  other.waitForFinished();
  EXPECT_EQ(r.ExitCode, 4) << r.Err;
  const std::string lines = "Communication: Invalid Handle\n";
  EXPECT_NE(r.Err.find("qmss: " + lines), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("is in use by another program: process " + pid + " (sleep)"), std::string::npos) << r.Err;
  const std::string log = dir.Read("LOG.TXT");
  EXPECT_NE(log.find("Communication: Invalid Handle\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("process " + pid + " (sleep)"), std::string::npos) << log;
}

// A port nobody serves, or none at all: the run ends with its own exit code
// within the time-out, and says why.
struct SilentCase {
  const char* Name;
  std::vector<std::string> Args;  // PORT stands for the pty, FILE for a sample file of the kind
  const char* File;
  int Exit;
  const char* Says;
  double Bound;  // seconds the run may take at most
};

void PrintTo(const SilentCase& c, std::ostream* out) { *out << c.Name; }

class Silent : public ::testing::TestWithParam<SilentCase> {};

TEST_P(Silent, EndsWithItsExitCodeWithinTheBound) {
  if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  TCliFolder dir;
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  const SilentCase& c = GetParam();
  std::string file;
  if (std::string(c.File) == "k7310") file = dir.Write("f.hex", PartFile(SeededBytes(0x40, 1)));
  if (std::string(c.File) == "trx5170l") file = dir.Write("f.hex", IntelHex({{0x000E0000, SeededBytes(0x40, 1)}}));
  if (std::string(c.File) == "params") file = dir.Write("f.txt", "Par.1: A :2\r\n");
  std::vector<std::string> args;
  std::string says = c.Says;
  for (const std::string& a : c.Args) args.push_back(a == "PORT" ? pty.SlavePath() : a == "FILE" ? file : a);
  if (const size_t at = says.find("PORT"); at != std::string::npos) says.replace(at, 4, pty.SlavePath());

  const TQmssResult r = dir.Run(args, static_cast<int>(c.Bound * 1000) + 30000);
  EXPECT_EQ(r.ExitCode, c.Exit) << JoinArgs(args) << "\n" << r.Err;
  EXPECT_NE(r.Err.find(says), std::string::npos) << r.Err;
  EXPECT_LT(r.Seconds, c.Bound) << "the run should end soon after its time-out";
}

// The device never sends a byte: exit 5 after --connect-timeout (20 s by
// default), or after a shorter --timeout; a port that does not open: 4.
INSTANTIATE_TEST_SUITE_P(
    NoDevice, Silent,
    ::testing::Values(
        SilentCase{"K7310GivesUpAfterTheDefaultConnectTimeout", {"download", "k7310", "FILE", "-p", "PORT"}, "k7310", 5,
                   "qmss download: no answer from the device on PORT within 20 s: check the cable, the power, and "
                   "that the device is in its boot loader; stopping the run",
                   35},
        SilentCase{"K7310ConnectTimeout", {"download", "k7310", "FILE", "-p", "PORT", "--connect-timeout", "1.5"},
                   "k7310", 5, "no answer from the device on PORT within 1.5 s: check the cable", 12},
        SilentCase{"K7310RunTimeoutFirst", {"download", "k7310", "FILE", "--port", "PORT", "--timeout", "1"}, "k7310",
                   5, "no answer from the device on PORT within 1 s", 12},
        SilentCase{"Trx5170l", {"download", "trx5170l", "FILE", "--port", "PORT", "--connect-timeout", "1"},
                   "trx5170l", 5, "no answer from the device on PORT within 1 s", 12},
        SilentCase{"ParamsSend", {"params", "send", "FILE", "--port", "PORT", "--connect-timeout", "1"}, "params", 5,
                   "no answer from the device on PORT within 1 s: check the cable, the power, and that the device "
                   "is in its boot loader after 0 of 1 parameters",
                   12},
        SilentCase{"ParamsReceive", {"params", "receive", "--port", "PORT", "--timeout", "1"}, "", 5,
                   "no line within 1 s", 12},
        SilentCase{"PortThatDoesNotExist", {"download", "k7310", "FILE", "--port", "/dev/qmss-no-such-port"}, "k7310",
                   4, "could not use /dev/qmss-no-such-port", 12}),
    [](const ::testing::TestParamInfo<SilentCase>& p) { return std::string(p.param.Name); });

}  // namespace
