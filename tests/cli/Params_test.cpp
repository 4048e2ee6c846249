// qmss params send and receive against `qmss sim params` and `qmss sim
// stream`: the table, what the device holds afterwards, the log, and the
// files a reception stores.
#include <gtest/gtest.h>

#include <signal.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "tests/cli/Qmssprocess.h"

namespace {

std::string Banner(const std::string& word) {
  const std::string head = "* " + word + " ";
  return head + std::string(80 - head.size(), '*');
}

class Params : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  }
  TCliFolder Dir;
};

TEST_F(Params, SendReadsWritesAndReadsBackEachParameterAndLogsTheTable) {
  Dir.Write("table.txt", "1=0\n5=9\n12=1\n");
  // Line 4 names a number above 65535: never sent, not even cut to 16 bits
  // (70000 would become 4464). Line 5 comes after a higher number: the
  // download sends in file order to ever higher numbers and passes it over.
  Dir.Write("params.txt",
            "Parameters of a scale\r\nPar.1: Scale interval :2\r\n12:7\r\nPar.70000: Too big :1\r\n"
            "Par.5: Filter :4\r\nPar.15: Code :12345678\r\nPar.20: Unit :kg\r\n");
  Dir.Write("LOG.TXT", "earlier run\r\n");
  TSimProcess sim;
  ASSERT_TRUE(sim.Start(Dir, {"params", "--table", Dir.Path("table.txt"), "--dump", Dir.Path("dump")})) << sim.Error();

  const TQmssResult r = Dir.Run({"params", "send", "params.txt", "--port", sim.Port(), "--baud", "115200", "--timeout", "30"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Err.find("params.txt line 4: parameter number above 65535, skipped"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("params.txt line 5: parameter 5 comes after parameter 12 and is skipped"), std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find("done, 4 parameters read back"), std::string::npos) << r.Err;
  // The device keeps 7 characters of a value; one it does not know reads empty.
  const std::string table =
      "No.  Previous    File        New\n"
      "  1  0           2           2         \n"
      " 12  1           7           7         \n"
      " 15              12345678    1234567   \n"
      " 20              kg          kg        \n";
  EXPECT_EQ(r.Out, table);
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(Dir.Read("dump/params.txt"), "1=2\n5=9\n12=7\n15=1234567\n20=kg\n");

  // The earlier log stays; this run added a start banner with its date line,
  // the table and the stop banner.
  const std::string log = Dir.Read("LOG.TXT");
  ASSERT_EQ(log.rfind("earlier run\r\n\r\n" + Banner("START") + "\r\n", 0), 0u) << log;
  const size_t rows = log.find("  1  0           2           2");
  const size_t stop = log.find("\r\n" + Banner("STOPPED") + "\r\n");
  EXPECT_NE(rows, std::string::npos) << log;
  EXPECT_NE(stop, std::string::npos) << log;
  EXPECT_LT(rows, stop);
  EXPECT_NE(log.find(" 20              kg          kg"), std::string::npos) << log;
}

// The JSON lines of stdout, parsed; a line that is no object fails the test.
std::vector<QJsonObject> Events(const std::string& out) {
  std::vector<QJsonObject> events;
  for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    EXPECT_TRUE(doc.isObject()) << line.toStdString();
    events.push_back(doc.object());
  }
  return events;
}

// --json: one event per parameter with the value before, the file's and the
// one read back; one per received line.
TEST_F(Params, JsonEventsForSendAndReceive) {
  Dir.Write("table.txt", "1=0\n12=1\n");
  Dir.Write("params.txt", "Par.1: Scale interval :2\r\n12:7\r\nPar.15: Code :12345678\r\n");
  TSimProcess device;
  ASSERT_TRUE(device.Start(Dir, {"params", "--table", Dir.Path("table.txt")})) << device.Error();
  const TQmssResult sent = Dir.Run({"params", "send", "params.txt", "-p", device.Port(), "--baud", "115200", "--json"});
  EXPECT_EQ(sent.ExitCode, 0) << sent.Err;
  std::vector<QJsonObject> events = Events(sent.Out);
  ASSERT_EQ(events.size(), 5u) << sent.Out;
  EXPECT_EQ(events[0]["event"].toString(), "start");
  EXPECT_EQ(events[0]["parameters"].toInt(), 3);
  const char* const rows[3][4] = {{"1", "0", "2", "2"}, {"12", "1", "7", "7"}, {"15", "", "12345678", "1234567"}};
  for (int n = 0; n < 3; ++n) {
    const QJsonObject& e = events[static_cast<size_t>(n) + 1];
    EXPECT_EQ(e["event"].toString(), "parameter");
    EXPECT_EQ(e["number"].toString(), rows[n][0]);
    EXPECT_EQ(e["old"].toString(), rows[n][1]);
    EXPECT_EQ(e["file"].toString(), rows[n][2]);
    EXPECT_EQ(e["new"].toString(), rows[n][3]);
    EXPECT_TRUE(e["matches"].toBool());  // the device keeps 7 characters
  }
  EXPECT_EQ(events[4]["event"].toString(), "done");
  EXPECT_TRUE(events[4]["ok"].toBool());
  EXPECT_EQ(events[4]["parameters"].toInt(), 3);
  EXPECT_EQ(events[4]["mismatches"].toInt(), 0);

  // -q: the table on stdout, on stderr only the closing line; -v adds the
  // log lines (the table the log gets) as they are written.
  const TQmssResult quiet = Dir.Run({"params", "send", "params.txt", "-p", device.Port(), "--baud", "115200", "-q"});
  EXPECT_EQ(quiet.ExitCode, 0) << quiet.Err;
  EXPECT_EQ(quiet.Err.rfind("qmss params send: done, 3 parameters read back in ", 0), 0u) << quiet.Err;
  EXPECT_EQ(std::count(quiet.Err.begin(), quiet.Err.end(), '\n'), 1) << quiet.Err;
  const TQmssResult verbose = Dir.Run({"params", "send", "params.txt", "-p", device.Port(), "--baud", "115200", "-v"});
  EXPECT_EQ(verbose.ExitCode, 0) << verbose.Err;
  EXPECT_NE(verbose.Err.find("log:  12  7           7           7"), std::string::npos) << verbose.Err;

  const std::string lines = "Par.1: Capacity :3000\r\n\r\nPar.12: Zero \"tracking\" :3\r\n";
  Dir.Write("lines.txt", lines);
  TSimProcess stream;
  ASSERT_TRUE(stream.Start(Dir, {"stream", "--file", Dir.Path("lines.txt"), "--start-delay-ms", "300"})) << stream.Error();
  const TQmssResult got = Dir.Run({"params", "receive", "-p", stream.Port(), "--baud", "9600", "--idle", "0.5", "--json"});
  EXPECT_EQ(got.ExitCode, 0) << got.Err;
  events = Events(got.Out);
  ASSERT_EQ(events.size(), 5u) << got.Out;
  EXPECT_EQ(events[0]["event"].toString(), "start");
  const char* const texts[3] = {"Par.1: Capacity :3000", "", "Par.12: Zero \"tracking\" :3"};
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(events[static_cast<size_t>(n) + 1]["event"].toString(), "line");
    EXPECT_EQ(events[static_cast<size_t>(n) + 1]["text"].toString(), texts[n]);
  }
  EXPECT_EQ(events[4]["event"].toString(), "done");
  EXPECT_EQ(events[4]["lines"].toInt(), 3);
  EXPECT_EQ(events[4]["stored"].toArray(), QJsonArray({"CPSTORE.TXT"}));
  EXPECT_EQ(Dir.Read("CPSTORE.TXT"), lines);
}

TEST_F(Params, SendOfAFileWithoutParameterLinesIsAUsageError) {
  Dir.Write("params.txt", "only a title\r\nPar.70000: Too big :1\r\n");
  const TQmssResult r = Dir.Run({"params", "send", "params.txt", "--port", "/dev/null"});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("line 2: parameter number above 65535, skipped"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("holds no parameter line to send"), std::string::npos) << r.Err;
}

TEST_F(Params, ReceiveStopsAfterTheIdleTimeAndStoresTheLines) {
  const std::string lines = "Par.1: Capacity :3000\r\nPar.2: Division :1\r\n\r\nPar.12: Zero tracking :3\r\n";
  Dir.Write("lines.txt", lines);
  TSimProcess sim;
  // The device starts sending a little after the host has opened the port;
  // it keeps the line open afterwards, so only the idle time ends the run.
  ASSERT_TRUE(sim.Start(Dir, {"stream", "--file", Dir.Path("lines.txt"), "--start-delay-ms", "600",
                              "--interval-ms", "20"}))
      << sim.Error();

  const TQmssResult r = Dir.Run({"params", "receive", "--port", sim.Port(), "--baud", "9600", "--idle", "0.5",
                                 "--out", "got.txt", "--timeout", "20"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "Par.1: Capacity :3000\nPar.2: Division :1\n\nPar.12: Zero tracking :3\n");
  EXPECT_EQ(Dir.Read("CPSTORE.TXT"), lines);
  EXPECT_EQ(Dir.Read("got.txt"), lines);
  EXPECT_NE(r.Err.find("4 lines stored in CPSTORE.TXT and got.txt"), std::string::npos) << r.Err;
  EXPECT_LT(r.Seconds, 5.0) << "half a second of silence should end the reception";
}

TEST_F(Params, ReceiveStopsOnInterruptAndStoresWhatCame) {
  TSimProcess sim;
  // The built-in list, sent again and again: the run never falls silent.
  ASSERT_TRUE(sim.Start(Dir, {"stream", "--repeat", "0", "--interval-ms", "5"})) << sim.Error();
  QProcess receive;
  receive.setWorkingDirectory(QString::fromStdString(Dir.Path()));
  receive.setProcessEnvironment(Dir.Environment());
  receive.start(QString::fromStdString(QmssProgram()),
                {"params", "receive", "--port", QString::fromStdString(sim.Port()), "--timeout", "20"});
  ASSERT_TRUE(receive.waitForStarted(10000));
  QByteArray out;
  QElapsedTimer clock;
  clock.start();
  while (out.count('\n') < 5 && clock.elapsed() < 10000) {
    receive.waitForReadyRead(100);
    out += receive.readAllStandardOutput();
  }
  ASSERT_GE(out.count('\n'), 5) << "no lines arrived";
  ::kill(static_cast<pid_t>(receive.processId()), SIGINT);
  ASSERT_TRUE(receive.waitForFinished(10000));
  out += receive.readAllStandardOutput();
  EXPECT_EQ(receive.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(receive.exitCode(), 0) << receive.readAllStandardError().toStdString();

  // CPSTORE.TXT holds what was printed, CR LF ended.
  std::string printed = out.toStdString();
  std::string stored;
  for (char c : printed) stored += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Dir.Read("CPSTORE.TXT"), stored);
  EXPECT_FALSE(Dir.Exists("got.txt"));
}

}  // namespace
