// Commands from the host thread against steps on another thread: a State the
// host set during a step stands, a stop completes at the end of its step, and
// a stop no step has completed yet never cancels the next start. The channel
// is stepped directly here, so that the order of step and command is fixed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "comm/Commswdl.h"
#include "tests/k7310/Testimage.h"
#include "tests/support/Pty.h"
#include "tests/support/Testhost.h"

namespace {

using C = CmSwDl7310;

struct SteppedChannel : ::testing::Test {
  TestPty Pty;
  TTestHost Host;
  PortSettings Settings;
  CmConfig Config;
  std::unique_ptr<CmSwDl7310> Channel;

  void SetUp() override {
    ASSERT_TRUE(Pty.IsOpen());
    // The model's own channel is the idle one; the test drives its own.
    Host.WriteIni("[CONFIG]\r\nOPERATION=Software Download - K7310\r\n");
    Host.MapPort(7, Pty.SlavePath());
    Host.Start();
    TTestImage image;
    image.Fill(1, 0, 16, 3);
    Host.ModelPtr->SwDl.LoadFile(image.WriteHex(Host.Folder() + "/image.hex"));
    Settings.BaudRate = 115200;
    Config.Port = 7;
    Channel = std::make_unique<CmSwDl7310>(*Host.ModelPtr, &Settings);
    Channel->Open(&Config);
    ASSERT_EQ(Channel->GetState(), C::Ready);
  }

  // Start, then step to the connect reply: the 0x7F is out, no reply yet.
  void StepToConnectReply() {
    Channel->Command(2);
    Channel->Step();  // 2: pause, find the parts
    ASSERT_EQ(Channel->GetState(), C::Connect);
    Channel->Step();  // 4: sends 0x7F
    ASSERT_EQ(Channel->GetState(), C::ConnectReply);
    ASSERT_EQ(Pty.Read(1, 5000), std::vector<uint8_t>{0x7F});
  }

  // Runs the connect-reply step on a worker while the host commands, then
  // the device answers. The step waits up to 1000 ms for its reply; the
  // commands come 200 ms after it began, well inside that wait.
  template <typename Commands>
  void StepWhileHostCommands(Commands commands) {
    std::atomic<bool> begun{false};
    std::thread worker([this, &begun] {
      begun = true;
      Channel->Step();
    });
    while (!begun) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    commands();
    Pty.Write(std::vector<uint8_t>{0x79});
    worker.join();
  }

  std::string StateText() {
    Channel->UpdateStatus();
    return Host.ModelPtr->SwDl.StateText.Get();
  }
};

TEST_F(SteppedChannel, StopAndStartDuringAStepLeaveTheHostsStart) {
  StepToConnectReply();
  StepWhileHostCommands([this] {
    Channel->Command(1);
    Channel->Command(2);
  });
  // The step's own next state (6 on the acknowledge) did not overwrite it.
  EXPECT_EQ(Channel->GetState(), C::Start);
  Channel->Step();
  EXPECT_EQ(Channel->GetState(), C::Connect) << "the new run was not cancelled";
}

TEST_F(SteppedChannel, StopDuringAStepEndsInReadyAtItsEnd) {
  StepToConnectReply();
  StepWhileHostCommands([this] { Channel->Command(1); });
  EXPECT_EQ(Channel->GetState(), C::Ready);
  EXPECT_EQ(StateText(), "Ready for download");
  // The run status tells a stopped run from one never started or completed.
  EXPECT_EQ(Channel->RunStatus().Phase, CmPhase::Stopped);
  EXPECT_EQ(Channel->RunStatus().CompletedRuns, 0);
  Channel->Command(2);
  Channel->Step();
  EXPECT_EQ(Channel->GetState(), C::Connect);
  EXPECT_EQ(Channel->RunStatus().Phase, CmPhase::Connecting);
  EXPECT_EQ(Channel->RunStatus().Part, 0);
}

TEST_F(SteppedChannel, StopBetweenStepsNeverCancelsTheNextStart) {
  struct Case {
    const char* Name;
    bool IdleStepBetween;  // a step in state 1 runs between the stop and the start
  };
  for (const Case& c : {Case{"start right after the stop", false}, Case{"idle step between", true}}) {
    SCOPED_TRACE(c.Name);
    StepToConnectReply();
    Channel->Command(1);
    EXPECT_EQ(Channel->GetState(), C::Ready);
    if (c.IdleStepBetween) {
      Channel->Step();
      EXPECT_EQ(Channel->GetState(), C::Ready);
      EXPECT_EQ(StateText(), "Ready for download");
    }
    Channel->Command(2);
    Channel->Step();
    EXPECT_EQ(Channel->GetState(), C::Connect);
    Channel->Command(1);
    Channel->Step();
  }
}

TEST_F(SteppedChannel, StartWhileRunningIsIgnored) {
  StepToConnectReply();
  Channel->Command(2);
  EXPECT_EQ(Channel->GetState(), C::ConnectReply);
}

TEST(ReadTimeouts, AReadMayTakeTheWireTimeOfItsBytesOnSlowLines) {
  struct Case {
    int32_t Baud;
    uint32_t AckMs;    // time-out of a 1-byte read
    uint32_t BlockMs;  // of a 256-byte read
  };
  for (const Case& c : {Case{115200, 1000, 1000}, Case{9600, 1000, 1000}, Case{4800, 1000, 1000}}) {
    const PortTimeouts t = CmSwDl7310::ReadTimeouts(c.Baud);
    EXPECT_EQ(t.ReadTotalMultiplier * 1 + t.ReadTotalConstant, c.AckMs) << c.Baud;
    EXPECT_EQ(t.ReadTotalMultiplier * 256 + t.ReadTotalConstant, c.BlockMs) << c.Baud;
    EXPECT_EQ(t.ReadInterval, 0u);
  }
  for (int32_t baud : {2400, 1200, 300}) {
    const PortTimeouts t = CmSwDl7310::ReadTimeouts(baud);
    const double wireMs = 256 * 11 * 1000.0 / baud;
    EXPECT_GE(t.ReadTotalMultiplier * 256 + t.ReadTotalConstant, wireMs + 500) << baud;
    EXPECT_GE(t.ReadTotalMultiplier + t.ReadTotalConstant, 1000u) << baud;
  }
}

}  // namespace
