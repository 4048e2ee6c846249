// The parameter upload on a pseudo-terminal: the test plays the device that
// sends text lines; the channel runs on the worker thread behind the model.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Channelhost.h"
#include "tests/support/Pty.h"

namespace {

constexpr int UploadTest = 4;  // "Parameters from device to PC - TEST"

class ParUlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Pty.IsOpen()) << "no pseudo-terminal available";
    Host.StartOn(UploadTest, Pty.SlavePath(), 115200);
    ASSERT_TRUE(Host.WaitForText("Ready to start receiving"));
  }

  void StartReceiving() {
    Host.PressStart();
    ASSERT_TRUE(Host.WaitForText("Receiving"));
  }
  void StopReceiving() {
    Host.PressStart();  // the same button stops a reception
    ASSERT_TRUE(Host.WaitForText("Ready to start receiving"));
  }
  // Sends the pieces with pauses between them, so that each arrives in reads
  // of its own.
  void SendInPieces(const std::vector<std::string>& pieces) {
    for (const std::string& piece : pieces) {
      ASSERT_TRUE(Pty.Write(piece));
      RunFor(30);
    }
  }
  std::vector<std::string> Lines() const { return Host.ModelPtr->SwDl.DataLines(); }
  bool WaitForLines(size_t count) {
    return RunUntil([&] { return Lines().size() >= count; });
  }

  TestPty Pty;
  ChannelHost Host;
  // The worker ends before the host goes: it may still log (a device
  // stopped by the test hangs up) while the host's destructors run.
  void TearDown() override { Host.Shutdown(); }
};

struct SplitCase {
  const char* Name;
  std::vector<std::string> Pieces;
};

class ParUlSplitTest : public ParUlTest, public ::testing::WithParamInterface<SplitCase> {};

// A B CR LF C D LF, then E F without a line end: two lines, however the
// bytes fall into reads.
TEST_P(ParUlSplitTest, CutsTheStreamIntoLines) {
  StartReceiving();
  SendInPieces(GetParam().Pieces);
  ASSERT_TRUE(WaitForLines(2));
  RunFor(100);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"AB", "CD"}));
  // The view's queue holds the same lines in order.
  std::string line;
  std::vector<std::string> queued;
  while (Host.ModelPtr->SwDl.TakeReceivedLine(line)) queued.push_back(line);
  EXPECT_EQ(queued, Lines());
  // E F stays out until its LF comes.
  ASSERT_TRUE(Pty.Write(std::string("\n")));
  ASSERT_TRUE(WaitForLines(3));
  EXPECT_EQ(Lines().back(), "EF");
}

INSTANTIATE_TEST_SUITE_P(
    Splits, ParUlSplitTest,
    ::testing::Values(SplitCase{"OneRead", {"AB\r\nCD\nEF"}},
                      SplitCase{"ByteByByte", {"A", "B", "\r", "\n", "C", "D", "\n", "E", "F"}},
                      SplitCase{"CrAndLfApart", {"AB\r", "\nCD", "\nE", "F"}},
                      SplitCase{"LineEndStartsARead", {"AB", "\r\nC", "D\nEF"}}),
    [](const ::testing::TestParamInfo<SplitCase>& p) { return p.param.Name; });

struct LengthCase {
  const char* Name;
  size_t Characters;   // 'x' characters before the line end
  const char* Ending;
  size_t Expected;     // characters in the line handed over
};

class ParUlLengthTest : public ParUlTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(ParUlLengthTest, KeepsTheFirst255Characters) {
  StartReceiving();
  ASSERT_TRUE(Pty.Write(std::string(GetParam().Characters, 'x') + GetParam().Ending + "next\n"));
  ASSERT_TRUE(WaitForLines(2));
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(lines[0], std::string(GetParam().Expected, 'x'));
  EXPECT_EQ(lines[1], "next");  // the cut does not spill into the next line
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ParUlLengthTest,
    ::testing::Values(LengthCase{"Long300Lf", 300, "\n", 255},
                      LengthCase{"Long300CrLf", 300, "\r\n", 255},
                      LengthCase{"Exactly255CrLf", 255, "\r\n", 255},
                      LengthCase{"Of254CrLf", 254, "\r\n", 254},
                      LengthCase{"EmptyLf", 0, "\n", 0},
                      LengthCase{"EmptyCrLf", 0, "\r\n", 0}),
    [](const ::testing::TestParamInfo<LengthCase>& p) { return p.param.Name; });

TEST_F(ParUlTest, NewStartClearsOldLinesAndDropsWhatCameInBetween) {
  StartReceiving();
  SendInPieces({"first\r\n"});
  ASSERT_TRUE(WaitForLines(1));
  StopReceiving();
  EXPECT_TRUE(Host.ModelPtr->SwDl.ReceiveStopped);

  // Sent while nobody listens, and half a line at that.
  SendInPieces({"in between\r\nhalf"});
  RunFor(100);
  EXPECT_EQ(Lines(), std::vector<std::string>{"first"});

  Host.PressStart();
  // Cleared by the start itself, before anything new is read.
  EXPECT_TRUE(Lines().empty());
  ASSERT_TRUE(Host.WaitForText("Receiving"));
  SendInPieces({"second\r\n"});
  ASSERT_TRUE(WaitForLines(1));
  RunFor(100);
  EXPECT_EQ(Lines(), std::vector<std::string>{"second"});
}

TEST_F(ParUlTest, StopLeavesAPartialLineOut) {
  StartReceiving();
  SendInPieces({"whole\npart"});
  ASSERT_TRUE(WaitForLines(1));
  StopReceiving();
  RunFor(100);
  EXPECT_EQ(Lines(), std::vector<std::string>{"whole"});
  // The next reception starts with an empty line buffer.
  StartReceiving();
  SendInPieces({"rest\n"});
  ASSERT_TRUE(WaitForLines(1));
  EXPECT_EQ(Lines(), std::vector<std::string>{"rest"});
}

TEST_F(ParUlTest, StartWhileReceivingAndStopWhileIdleChangeNothing) {
  StartReceiving();
  SendInPieces({"kept\n"});
  ASSERT_TRUE(WaitForLines(1));
  Host.ModelPtr->SendCommand(1);  // a second start
  RunFor(100);
  EXPECT_EQ(Host.State(), 1);
  EXPECT_EQ(Lines(), std::vector<std::string>{"kept"});
  StopReceiving();
  Host.ModelPtr->SendCommand(0);
  RunFor(100);
  EXPECT_EQ(Host.State(), 0);
  EXPECT_EQ(Lines(), std::vector<std::string>{"kept"});
}

TEST_F(ParUlTest, ALineReceivedAsksTheViewToRefresh) {
  StartReceiving();
  const int before = Host.StateChangedCalls;
  SendInPieces({"one\n"});
  ASSERT_TRUE(WaitForLines(1));
  EXPECT_TRUE(RunUntil([&] { return Host.StateChangedCalls > before; }));
  EXPECT_TRUE(Host.ModelPtr->SwDl.ListChanged);
}

TEST(ParUl, PortThatDoesNotOpenWaitsAndAStartTriesItOnceWithOneBox) {
  ChannelHost host;
  host.StartOn(UploadTest, "", 9600);
  ASSERT_TRUE(RunUntil([&] { return host.StateText().rfind("Error! COM250 names no serial port.", 0) == 0; }))
      << host.StateText();
  EXPECT_EQ(host.ErrorHeads(), std::vector<std::string>{"Communication: Invalid Handle"});
  host.PressStart();
  ASSERT_TRUE(RunUntil([&] { return host.Errors().size() == 2; }));
  RunFor(100);
  EXPECT_EQ(host.ErrorHeads(), (std::vector<std::string>{"Communication: Invalid Handle", "Communication: Invalid Handle"}));
  EXPECT_EQ(host.State(), 2);
}

TEST(ParUl, LineGoneWhenStartingIsReportedFromTheWorkerThread) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  ChannelHost host;
  host.StartOn(UploadTest, pty.SlavePath(), 115200);
  ASSERT_TRUE(host.WaitForText("Ready to start receiving"));
  // The device is unplugged while nobody listens: the start's input emptying
  // fails on the host thread, and the error comes from the next step.
  pty.CloseMaster();
  pty.CloseSlave();
  host.PressStart();
  ASSERT_TRUE(RunUntil([&] { return !host.Errors().empty(); }));
  EXPECT_EQ(host.Errors().front(), "Communication: Could not read port during empty");
}

}  // namespace
