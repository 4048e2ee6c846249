// "qmss sim" arguments, and the command itself end to end when the qmss
// program has been built.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "Rawhost.h"
#include "sim/Simargs.h"

namespace {

SimArguments Parse(const std::vector<std::string>& args) {
  SimArguments parsed;
  std::string error;
  EXPECT_TRUE(ParseSimArguments(args, parsed, error)) << error;
  return parsed;
}

TEST(SimArgs, OptionsReachTheSimulatorSettings) {
  SimArguments a = Parse({"k7310", "--seed", "99", "--nack", "0.25", "--drop=1:3", "--pace", "--awake",
                          "--route-fallback-ms", "0", "--disconnect-after", "1000", "--image", "x.bin", "--dump", "out"});
  EXPECT_EQ(a.Kind, SimKind::K7310);
  EXPECT_EQ(a.Options.Seed, 99u);
  EXPECT_DOUBLE_EQ(a.Options.Fault(SimFault::Nack).Rate, 0.25);
  EXPECT_EQ(a.Options.Fault(SimFault::Nack).Limit, -1);
  EXPECT_DOUBLE_EQ(a.Options.Fault(SimFault::Drop).Rate, 1.0);
  EXPECT_EQ(a.Options.Fault(SimFault::Drop).Limit, 3);
  EXPECT_TRUE(a.Options.Pace);
  EXPECT_TRUE(a.Options.Awake);
  EXPECT_EQ(a.Options.RouteFallbackMs, 0);
  EXPECT_EQ(a.Options.DisconnectAfterBytes, 1000);
  EXPECT_EQ(a.Options.ImageFile, "x.bin");
  EXPECT_EQ(a.DumpDir, "out");

  SimArguments s = Parse({"stream", "--eol", "lf", "--interval-ms", "5", "--repeat", "0", "--long-line", "400",
                          "--file", "lines.txt"});
  EXPECT_EQ(s.Kind, SimKind::Stream);
  EXPECT_FALSE(s.Options.CrLf);
  EXPECT_EQ(s.Options.IntervalMs, 5);
  EXPECT_EQ(s.Options.Repeat, 0);
  EXPECT_EQ(s.Options.LongLine, 400);
  EXPECT_EQ(s.Options.StreamFile, "lines.txt");
  EXPECT_TRUE(Parse({"--help"}).Help);
  EXPECT_TRUE(Parse({"-h"}).Help);
}

TEST(SimArgs, BadArgumentsAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"k7311"},
      {"k7310", "params"},
      {"k7310", "--frobnicate"},
      {"k7310", "--nack"},
      {"k7310", "--nack", "1.5"},
      {"k7310", "--nack", "0.5:"},
      {"k7310", "--drop", "x"},
      {"k7310", "--seed", "-1"},
      {"k7310", "--route-fallback-ms", "10ms"},
      {"stream", "--eol", "cr"},
      {"k7310", "--pace=1"},
      {"k7310", "--seed", "1", "--seed=2"},
      {"k7310", "--awake", "--awake"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    SimArguments parsed;
    std::string error;
    EXPECT_FALSE(ParseSimArguments(args, parsed, error));
    EXPECT_FALSE(error.empty());
  }
}

// The qmss program of this build tree, empty when it has not been built.
std::string QmssProgram() {
  std::string path = std::string(QMSS_BINARY_DIR) + "/cli/qmss";
  return access(path.c_str(), X_OK) == 0 ? path : "";
}

TEST(SimCommand, ServesUntilTerminatedAndDumps) {
  std::string qmss = QmssProgram();
  if (qmss.empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  namespace fs = std::filesystem;
  fs::path dir = fs::path(::testing::TempDir()) / "qmss-sim-command";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "table.txt") << "12=3\n";

  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(out[1], 1);
    close(out[0]);
    std::string table = (dir / "table.txt").string();
    std::string dump = (dir / "dump").string();
    execl(qmss.c_str(), "qmss", "sim", "params", "--table", table.c_str(), "--dump", dump.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* stream = fdopen(out[0], "r");
  char line[256] = {};
  ASSERT_NE(fgets(line, sizeof line, stream), nullptr);
  std::string first(line);
  ASSERT_EQ(first.rfind("PORT /dev/", 0), 0u) << first;
  std::string port = first.substr(5, first.find('\n') - 5);
  {
    RawHost host(port, 9600);
    ASSERT_TRUE(host.IsOpen());
    host.Write(HostFrame(0xD0, {12, 0, '7', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ReadHostFrame(host), HostFrame(0xD1, {12, 0, 0}));
  }
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  fclose(stream);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream params(dir / "dump" / "params.txt");
  std::string text((std::istreambuf_iterator<char>(params)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "12=7\n");
  EXPECT_TRUE(fs::exists(dir / "dump" / "summary.json"));
  EXPECT_TRUE(fs::exists(dir / "dump" / "sent.bin"));
}

TEST(SimCommand, BadOptionsExitWithUsage) {
  std::string qmss = QmssProgram();
  if (qmss.empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  int status = std::system((qmss + " sim k7310 --no-such-option >/dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
