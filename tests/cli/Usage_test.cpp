// qmss usage: every way of calling it wrongly ends with exit 2 and a reason
// on stderr before any device is touched; help, ports and sample.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <map>

#include "files/Version.h"
#include "tests/cli/Qmssprocess.h"
#include "tests/support/Pty.h"

namespace {

struct UsageCase {
  // GOOD stands for a readable HEX file, EMPTY for one without data, PARAMS
  // for a parameter file.
  std::vector<std::string> Args;
  const char* Says;               // part of the message on stderr
};

class Usage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  }
  TCliFolder Dir;
};

TEST_F(Usage, ErrorsEndWithExitTwoAndSayWhy) {
  const std::string good = Dir.Write("good.hex", ":020000040800F2\r\n:0400000001020304F2\r\n:00000001FF\r\n");
  const std::string empty = Dir.Write("empty.hex", ":00000001FF\r\n");
  const std::string params = Dir.Write("params.txt", "Par.1: A :2\r\n");
  // The port exists, so that only the usage is at fault.
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  const std::string port = pty.SlavePath();
  const std::vector<UsageCase> cases = {
      {{}, "Usage: qmss COMMAND"},
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{"--frobnicate"}, "unknown option \"--frobnicate\""},
      {{"ports", "extra"}, "takes no arguments"},
      {{"info"}, "give one HEX file"},
      {{"info", "GOOD", "GOOD"}, "give one HEX file"},
      {{"info", "GOOD", "--image", "k9999"}, "unknown image \"k9999\""},
      {{"info", "GOOD", "--bin"}, "option --bin needs a value"},
      {{"info", "GOOD", "--colour"}, "unknown option \"--colour\""},
      {{"info", "nowhere.hex"}, "nowhere.hex"},
      {{"combine", "GOOD", "GOOD", "GOOD"}, "give four part files and -o TOTAL"},
      {{"combine", "GOOD", "GOOD", "GOOD", "GOOD"}, "give four part files and -o TOTAL"},
      {{"download"}, "give the device kind and one HEX file"},
      {{"download", "k9999", "GOOD", "--port", port}, "unknown device \"k9999\""},
      {{"download", "k7310", "GOOD"}, "no port given"},
      {{"download", "k7310", "GOOD", "--port", "COM0"}, "is no port name"},
      {{"download", "k7310", "GOOD", "--port", "COM300"}, "COM300 maps to no device"},
      {{"download", "k7310", "GOOD", "--port", port, "--baud", "12x"}, "unsupported baud rate \"12x\""},
      {{"download", "k7310", "GOOD", "--port", port, "--baud", "0"}, "unsupported baud rate \"0\""},
      {{"download", "k7310", "GOOD", "--port", port, "--parity", "X"}, "unsupported parity \"X\""},
      {{"download", "k7310", "GOOD", "--port", port, "--timeout", "0"}, "bad time-out \"0\""},
      {{"download", "k7310", "GOOD", "--port", port, "--timeout", "soon"}, "bad time-out \"soon\""},
      {{"download", "k7310", "nowhere.hex", "--port", port}, "nowhere.hex"},
      // A file with nothing for any K7310 processor.
      {{"download", "k7310", "EMPTY", "--port", port}, "holds no data for any of the four processors"},
      {{"download", "k7310", "GOOD", "--port", port, "--force=yes"}, "option --force takes no value"},
      {{"download", "k7310", "GOOD", "--port", port, "--connect-timeout", "0"}, "bad connect time-out \"0\""},
      // An option given twice, in either spelling, and a flag given twice.
      {{"download", "k7310", "GOOD", "-p", port, "--port", port}, "option --port given more than once"},
      {{"download", "k7310", "GOOD", "-p", port, "--force", "--force"}, "option --force given more than once"},
      // Several ports: each device once, each port its own log.
      {{"download", "k7310", "GOOD", "-p", port, "-p", "COM300"}, "COM300 maps to no device"},
      {{"download", "k7310", "GOOD", "-p", port, "-p", "/dev/null", "--log", "one.txt"}, "--log names the log of one port"},
      {{"download", "k7310", "GOOD", "-p", port, "-q", "-v"}, "give -q or -v, not both"},
      {{"info", "GOOD", "--image", "k7310", "--image=part"}, "option --image given more than once"},
      {{"sim", "k7310", "--seed", "1", "--seed", "2"}, "option --seed given more than once"},
      {{"sim", "k7310", "--pace", "--pace"}, "option --pace given more than once"},
      {{"params", "receive", "-p", port, "--connect-timeout", "5"}, "--connect-timeout is for send"},
      {{"params"}, "say send or receive"},
      {{"params", "upload", "--port", port}, "say send or receive"},
      {{"params", "send", "--port", port}, "give one parameter file"},
      {{"params", "send", "nowhere.txt", "--port", port}, "nowhere.txt"},
      {{"params", "send", "PARAMS"}, "no port given"},
      {{"params", "receive", "PARAMS", "--port", port}, "takes no file"},
      {{"params", "receive", "--port", port, "--idle", "-1"}, "bad --idle \"-1\""},
      {{"sample"}, "give one folder"},
      {{"sample", "out", "--seed", "x"}, "give one folder"},
      {{"sim", "k7311"}, "qmss sim"},
  };
  for (const UsageCase& c : cases) {
    std::vector<std::string> args;
    for (const std::string& a : c.Args)
      args.push_back(a == "GOOD" ? good : a == "EMPTY" ? empty : a == "PARAMS" ? params : a);
    SCOPED_TRACE(JoinArgs(args));
    const TQmssResult r = Dir.Run(args, 20000);
    EXPECT_EQ(r.ExitCode, 2) << r.Err;
    EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
  }
  // None of them got as far as a device run.
  EXPECT_FALSE(Dir.Exists("LOG.TXT"));
  EXPECT_TRUE(pty.ReadUntilQuiet(50, 200).empty());
}

TEST_F(Usage, HelpGoesToStdoutWithExitZero) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"info", "--help"}, {"combine", "--help"}, {"download", "--help"},
           {"params", "--help"}, {"ports", "--help"}, {"sim", "--help"}, {"sample", "--help"},
           {"-h"}, {"info", "-h"}, {"combine", "-h"}, {"download", "-h"}, {"params", "-h"}, {"ports", "-h"},
           {"sim", "-h"}, {"sample", "-h"}}) {
    SCOPED_TRACE(JoinArgs(args));
    const TQmssResult r = Dir.Run(args);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("Usage: qmss"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Err, "");
  }
}

TEST_F(Usage, VersionNamesTheProductVersionCommitAndDate) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--version"}, {"sim", "--version"}}) {
    SCOPED_TRACE(JoinArgs(args));
    const TQmssResult r = Dir.Run(args);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out.rfind("qmss " QMSS_VERSION " (", 0), 0u) << r.Out;
    EXPECT_EQ(r.Out.back(), '\n');
  }
}

TEST_F(Usage, PortsListsAPortMappedInTheIni) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  const std::string ini = "[PORTS]\r\nCOM42=" + pty.SlavePath() + "\r\nCOM43=/dev/qmss-no-such-port\r\n";
  Dir.Write(Dir.IniPath(), ini);
  const TQmssResult r = Dir.Run({"ports"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  const size_t at = r.Out.find("COM42  " + pty.SlavePath());
  ASSERT_NE(at, std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("opens", at), std::string::npos) << r.Out;
  // A name whose device does not exist is not listed.
  EXPECT_EQ(r.Out.find("COM43"), std::string::npos) << r.Out;
  EXPECT_EQ(Dir.Read(Dir.IniPath()), ini);
}

// A port another program holds: it does not open, and the list says who has
// it; --json gives one object per port.
TEST_F(Usage, PortsSaysWhyAPortDoesNotOpen) {
  TestPty free, held;
  ASSERT_TRUE(free.IsOpen() && held.IsOpen());
  Dir.Write(Dir.IniPath(), "[PORTS]\r\nCOM42=" + free.SlavePath() + "\r\nCOM43=" + held.SlavePath() + "\r\n");
  QProcess other;
  other.setStandardInputFile(QString::fromStdString(held.SlavePath()));
  other.start("sleep", {"30"});
  ASSERT_TRUE(other.waitForStarted());
  const std::string pid = std::to_string(other.processId());

  std::map<std::string, QJsonObject> ports;
  TQmssResult r;
  for (int attempt = 0; attempt < 20; ++attempt) {  // until the sleep has the port open
    r = Dir.Run({"ports", "--json"});
    ports.clear();
    for (const QByteArray& line : QByteArray::fromStdString(r.Out).split('\n')) {
      if (line.isEmpty()) continue;
      const QJsonObject o = QJsonDocument::fromJson(line).object();
      EXPECT_EQ(o["event"].toString(), "port") << line.toStdString();
      ports[o["com"].toString().toStdString()] = o;
    }
    if (ports["COM43"]["why"].toString().contains(QString::fromStdString(pid))) break;
  }
  const TQmssResult text = Dir.Run({"ports"});
  other.kill();
  other.waitForFinished();
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  ASSERT_EQ(ports.count("COM42"), 1u) << r.Out;
  ASSERT_EQ(ports.count("COM43"), 1u) << r.Out;
  EXPECT_EQ(ports["COM42"]["device"].toString().toStdString(), free.SlavePath());
  EXPECT_TRUE(ports["COM42"]["opens"].toBool());
  EXPECT_TRUE(ports["COM42"]["why"].isNull());
  // A pseudo-terminal has no by-id name, so no [PORTS] line either.
  EXPECT_TRUE(ports["COM42"]["by_id"].isNull());
  EXPECT_TRUE(ports["COM42"]["ports_line"].isNull());
  EXPECT_FALSE(ports["COM43"]["opens"].toBool());
  EXPECT_TRUE(ports["COM43"]["why"].toString().contains(QString::fromStdString("process " + pid + " (sleep)")))
      << r.Out;
  EXPECT_NE(text.Out.find("COM43  " + held.SlavePath()), std::string::npos) << text.Out;
  EXPECT_NE(text.Out.find("does not open: "), std::string::npos) << text.Out;
}

TEST_F(Usage, SampleWritesTheSameSetForTheSameSeed) {
  const TQmssResult a = Dir.Run({"sample", "a"});
  const TQmssResult b = Dir.Run({"sample", "b"});
  ASSERT_EQ(a.ExitCode, 0) << a.Err;
  ASSERT_EQ(b.ExitCode, 0) << b.Err;
  for (const char* name : {"main.hex", "display.hex", "lccomm.hex", "ethernet.hex", "total.hex", "trx5170l.hex", "params.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Dir.Read(std::string("a/") + name).empty());
    EXPECT_EQ(Dir.Read(std::string("a/") + name), Dir.Read(std::string("b/") + name));
  }
  // Its total is what combine makes of its parts.
  const TQmssResult combined = Dir.Run({"combine", "a/main.hex", "a/display.hex", "a/lccomm.hex", "a/ethernet.hex", "-o", "total.hex"});
  ASSERT_EQ(combined.ExitCode, 0) << combined.Err;
  EXPECT_EQ(Dir.Read("total.hex"), Dir.Read("a/total.hex"));
}

}  // namespace
