// qmss download against the simulated devices run as `qmss sim`: what ends
// up in their flash, and the exit code for a completed run, a file whose load
// report shows problems, and a device that never answers.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <csignal>
#include <map>

#include "files/Logfile.h"
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

// stdout of a --json run: one JSON object per line, nothing else.
std::vector<QJsonObject> JsonEvents(const std::string& out) {
  std::vector<QJsonObject> events;
  size_t at = 0;
  while (at < out.size()) {
    const size_t end = out.find('\n', at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "the last line has no line end: " << out.substr(at);
      break;
    }
    const QByteArray line = QByteArray::fromStdString(out.substr(at, end - at));
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
      ADD_FAILURE() << "not a JSON object: " << line.toStdString();
    else
      events.push_back(doc.object());
    at = end + 1;
  }
  return events;
}

std::string Name(const QJsonObject& event) { return event["event"].toString().toStdString(); }

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
  EXPECT_NE(forced.Err.find("qmss download: done (Ready for download)"), std::string::npos) << forced.Err;
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

// A run against a device that refuses, loses and garbles some answers, with
// --json: the events in their order, each as the schema has it; -v puts the
// log lines on stderr as they are written.
TEST_F(Download, JsonEventsOfARunWithInjectedFaults) {
  const std::string file = Dir.Write("total.hex", TotalFile());
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake", "--seed", "3", "--nack", "0.05:3", "--drop", "0.05:2", "--bitflip",
                              "0.2:1", "--dump", Dir.Path("dump")}))
      << sim.Error();
  const TQmssResult r = Dir.Run({"download", "k7310", file, "-p", sim.Port(), "--baud", "115200", "--json", "-v"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  ASSERT_EQ(sim.Stop(), 0);
  ExpectFlashHoldsTheParts("dump");

  const std::vector<QJsonObject> events = JsonEvents(r.Out);
  ASSERT_GE(events.size(), 6u) << r.Out;
  const QJsonObject& start = events.front();
  EXPECT_EQ(Name(start), "start");
  EXPECT_EQ(start["command"].toString(), "download");
  EXPECT_EQ(start["kind"].toString(), "k7310");
  EXPECT_EQ(start["port"].toString().toStdString(), sim.Port());
  EXPECT_EQ(start["baud"].toInt(), 115200);
  EXPECT_EQ(start["parity"].toString(), "E");
  EXPECT_EQ(start["log"].toString(), "LOG.TXT");
  const int total = 0x900 + 0x123 + 0x80 + 0x101;
  EXPECT_EQ(start["bytes"].toInt(), total);
  ASSERT_EQ(start["parts"].toArray().size(), 4);
  EXPECT_EQ(start["parts"].toArray()[1].toObject()["name"].toString(), "Display");
  EXPECT_EQ(start["parts"].toArray()[1].toObject()["bytes"].toInt(), 0x123);

  const QJsonObject& done = events.back();
  EXPECT_EQ(Name(done), "done");
  EXPECT_TRUE(done["ok"].toBool());
  EXPECT_EQ(done["exit_code"].toInt(), 0);
  EXPECT_EQ(done["bytes"].toInt(), total);
  EXPECT_EQ(done["parts_verified"].toArray(),
            QJsonArray({"Main processor", "Display", "Loadcell communication", "Ethernet"}));
  const double seconds = done["seconds"].toDouble();
  EXPECT_GT(seconds, 0);

  std::vector<int> parts;
  std::vector<std::string> failures;
  int progress = 0;
  double lastElapsed = 0;
  for (size_t i = 1; i + 1 < events.size(); ++i) {
    const QJsonObject& e = events[i];
    SCOPED_TRACE(QJsonDocument(e).toJson(QJsonDocument::Compact).toStdString());
    const std::string name = Name(e);
    if (name == "part") {
      parts.push_back(e["index"].toInt());
    } else if (name == "failure") {
      failures.push_back(e["line"].toString().toStdString());
    } else if (name == "progress") {
      ++progress;
      EXPECT_GE(e["percent"].toDouble(), 0);
      EXPECT_LE(e["percent"].toDouble(), 100);
      EXPECT_LE(e["bytes_done"].toInt(), total);
      EXPECT_EQ(e["bytes_total"].toInt(), total);
      EXPECT_GE(e["elapsed_s"].toDouble(), lastElapsed);
      lastElapsed = e["elapsed_s"].toDouble();
      EXPECT_TRUE(e["left_s"].isNull() || e["left_s"].toDouble() >= 0);
      const std::string phase = e["phase"].toString().toStdString();
      EXPECT_TRUE(phase == "connecting" || phase == "transferring" || phase == "verifying" || phase == "finishing")
          << phase;
    } else {
      ADD_FAILURE() << "unexpected event " << name;
    }
  }
  EXPECT_EQ(parts, (std::vector<int>{0, 1, 2, 3}));
  // At most ten progress events a second.
  EXPECT_LE(progress, static_cast<int>(seconds * 10) + 2);
  // Each failure is a line of the log, in the log's order, and -v showed it.
  ASSERT_FALSE(failures.empty()) << "the faults should have cost some answers";
  const std::string log = Dir.Read("LOG.TXT");
  size_t at = 0;
  for (const std::string& line : failures) {
    at = log.find(line + "\r\n", at);
    ASSERT_NE(at, std::string::npos) << line << " is not in the log (in order):\n" << log;
    EXPECT_NE(r.Err.find("log: " + line + "\n"), std::string::npos) << r.Err;
  }
}

// Whatever ends a --json run, its last line is the done event with the exit
// code the process ends with.
TEST_F(Download, JsonDoneEventForEveryEnd) {
  const std::string good = Dir.Write("total.hex", TotalFile());
  const std::string damaged = Dir.Write("damaged.hex", DamageChecksum(PartFile(Parts[0]), 3));
  TestPty silent;
  ASSERT_TRUE(silent.IsOpen());
  struct Case {
    const char* Name;
    std::string File;
    std::string Port;
    int Exit;
  };
  const Case cases[] = {
      {"load report problems", damaged, silent.SlavePath(), 3},
      {"the port does not open", good, "/dev/qmss-no-such-port", 4},
      {"no answer", good, silent.SlavePath(), 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TQmssResult r = Dir.Run({"download", "k7310", c.File, "-p", c.Port, "--json", "--connect-timeout", "1"});
    EXPECT_EQ(r.ExitCode, c.Exit) << r.Err;
    const std::vector<QJsonObject> events = JsonEvents(r.Out);
    ASSERT_FALSE(events.empty()) << r.Err;
    EXPECT_EQ(Name(events.back()), "done");
    EXPECT_FALSE(events.back()["ok"].toBool());
    EXPECT_EQ(events.back()["exit_code"].toInt(), c.Exit);
    EXPECT_FALSE(events.back()["error"].toString().isEmpty());
  }
}

// -q: only errors and the closing line.
TEST_F(Download, QuietShowsOnlyTheClosingLine) {
  const std::string file = Dir.Write("total.hex", TotalFile());
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake"})) << sim.Error();
  const TQmssResult r = Dir.Run({"download", "k7310", file, "-p", sim.Port(), "--baud", "115200", "-q"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err.rfind("qmss download: verified 2,980 bytes in 4 processors in ", 0), 0u) << r.Err;
  EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
}

// Three devices programmed by one command, at the same time: each one holds
// the image, each port has its own log, and the table names every port.
TEST_F(Download, ThreeDevicesAtOnceEachVerifiedFromItsDump) {
  const std::string file = Dir.Write("total.hex", TotalFile());
  TSimProcess sims[3];
  std::vector<std::string> args = {"download", "k7310", file, "--baud", "115200"};
  for (int n = 0; n < 3; ++n) {
    ASSERT_TRUE(sims[n].Start(Dir, {"k7310", "--awake", "--dump", Dir.Path("dump" + std::to_string(n))}))
        << sims[n].Error();
    args.insert(args.end(), {"-p", sims[n].Port()});
  }
  const TQmssResult r = Dir.Run(args, 120000);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "");
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(sims[n].Port());
    ASSERT_EQ(sims[n].Stop(), 0);
    ExpectFlashHoldsTheParts("dump" + std::to_string(n));
    // "/dev/pts/N" logs to "LOG-pts-N.TXT"; the run's banners are in it.
    const std::string log = "LOG-" + sims[n].Port().substr(5).replace(3, 1, "-") + ".TXT";
    EXPECT_NE(Dir.Read(log).find("* START "), std::string::npos) << log;
    // Its row of the table: port, outcome, bytes, log.
    const size_t row = r.Err.find("\n" + sims[n].Port() + "  done  ");
    ASSERT_NE(row, std::string::npos) << r.Err;
    const std::string line = r.Err.substr(row + 1, r.Err.find('\n', row + 1) - row - 1);
    EXPECT_NE(line.find(" 2,980 "), std::string::npos) << line;
    EXPECT_NE(line.find(log), std::string::npos) << line;
  }
  EXPECT_FALSE(Dir.Exists("LOG.TXT"));
}

// One of the ports has no device: the others are programmed all the same, the
// command exits with the highest code, and --json carries each worker's
// events with their port and a summary of every port at the end.
TEST_F(Download, SeveralPortsExitWithTheHighestCode) {
  const std::string file = Dir.Write("total.hex", TotalFile());
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake", "--dump", Dir.Path("dump")})) << sim.Error();
  TestPty silent;
  ASSERT_TRUE(silent.IsOpen());
  const TQmssResult r = Dir.Run({"download", "k7310", file, "--baud", "115200", "-p", silent.SlavePath(), "-p",
                                 sim.Port(), "--connect-timeout", "2", "--json"},
                                120000);
  EXPECT_EQ(r.ExitCode, 5) << r.Err;
  ASSERT_EQ(sim.Stop(), 0);
  ExpectFlashHoldsTheParts("dump");

  const std::vector<QJsonObject> events = JsonEvents(r.Out);
  ASSERT_FALSE(events.empty()) << r.Err;
  std::map<std::string, int> doneCodes;
  for (size_t i = 0; i + 1 < events.size(); ++i) {
    EXPECT_TRUE(events[i]["port"].isString()) << QJsonDocument(events[i]).toJson().toStdString();
    if (Name(events[i]) == "done") doneCodes[events[i]["port"].toString().toStdString()] = events[i]["exit_code"].toInt();
  }
  EXPECT_EQ(doneCodes, (std::map<std::string, int>{{silent.SlavePath(), 5}, {sim.Port(), 0}}));
  const QJsonObject& summary = events.back();
  EXPECT_EQ(Name(summary), "summary");
  EXPECT_FALSE(summary["ok"].toBool());
  EXPECT_EQ(summary["exit_code"].toInt(), 5);
  const QJsonArray ports = summary["ports"].toArray();
  ASSERT_EQ(ports.size(), 2);
  EXPECT_EQ(ports[0].toObject()["port"].toString().toStdString(), silent.SlavePath());
  EXPECT_EQ(ports[0].toObject()["exit_code"].toInt(), 5);
  EXPECT_EQ(ports[1].toObject()["port"].toString().toStdString(), sim.Port());
  EXPECT_TRUE(ports[1].toObject()["ok"].toBool());
  EXPECT_EQ(ports[1].toObject()["bytes"].toInt(), 2980);
  EXPECT_NE(r.Err.find(silent.SlavePath() + ": qmss download: no answer from the device"), std::string::npos) << r.Err;
}

// No run goes without a log: --log names it, and a run whose LOG.TXT another
// run holds logs to the port's own file and says so.
TEST_F(Download, EveryRunHasALog) {
  const std::string file = Dir.Write("total.hex", TotalFile());
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake", "--nack", "0.2:1"})) << sim.Error();
  const std::string portLog = "LOG-" + sim.Port().substr(5).replace(3, 1, "-") + ".TXT";

  const TQmssResult named = Dir.Run({"download", "k7310", file, "-p", sim.Port(), "--baud", "115200", "--log", "mine.txt"});
  EXPECT_EQ(named.ExitCode, 0) << named.Err;
  EXPECT_NE(Dir.Read("mine.txt").find("No Ack"), std::string::npos) << Dir.Read("mine.txt");
  EXPECT_FALSE(Dir.Exists("LOG.TXT"));

  TLogFile other;
  ASSERT_TRUE(other.Open(Dir.Path("LOG.TXT")));
  const TQmssResult held = Dir.Run({"download", "k7310", file, "-p", sim.Port(), "--baud", "115200"});
  other.Close();
  EXPECT_EQ(held.ExitCode, 0) << held.Err;
  EXPECT_NE(held.Err.find("LOG.TXT is held by another run; this run logs to " + portLog), std::string::npos)
      << held.Err;
  EXPECT_NE(Dir.Read(portLog).find("* START "), std::string::npos);
  EXPECT_EQ(Dir.Read("LOG.TXT"), "");
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

// SIGTERM to a download to several ports reaches every worker: each run is
// stopped, and the command ends with the signal's code and its table.
TEST_F(Download, ASignalStopsTheRunOnEveryPort) {
  const std::string file = Dir.Write("total.hex", TotalFile());
  TSimProcess sims[2];
  QStringList args = {"download", "k7310", QString::fromStdString(file), "--baud", "1200", "--parity", "E"};
  for (TSimProcess& sim : sims) {
    ASSERT_TRUE(sim.Start(Dir, {"k7310", "--awake", "--pace", "--parity", "E"})) << sim.Error();
    args << "-p" << QString::fromStdString(sim.Port());
  }
  QProcess run;
  run.setWorkingDirectory(QString::fromStdString(Dir.Path()));
  run.setProcessEnvironment(Dir.Environment());
  run.start(QString::fromStdString(QmssProgram()), args);
  ASSERT_TRUE(run.waitForStarted(10000));
  // Until both are writing their first part.
  QByteArray err;
  QElapsedTimer clock;
  clock.start();
  auto writing = [&](const TSimProcess& sim) {
    return err.contains(QByteArray::fromStdString(sim.Port() + ": transferring"));
  };
  while (!(writing(sims[0]) && writing(sims[1])) && clock.elapsed() < 30000) {
    run.waitForReadyRead(100);
    err += run.readAllStandardError();
  }
  ASSERT_TRUE(writing(sims[0]) && writing(sims[1])) << err.toStdString();
  ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
  ASSERT_TRUE(run.waitForFinished(30000));
  err += run.readAllStandardError();
  EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(run.exitCode(), 143) << err.toStdString();
  for (const TSimProcess& sim : sims) {
    EXPECT_TRUE(err.contains(QByteArray::fromStdString(sim.Port() + ": qmss download: stopped; stopping the run")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QByteArray::fromStdString("\n" + sim.Port() + "  stopped by SIGTERM (exit 143)")))
        << err.toStdString();
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
