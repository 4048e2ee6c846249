// The cable pulled and plugged in again, against the scripted device: during
// a run and while the channel is idle, with and without a Download clicked
// while the cable is out. Each failure shows one box; the channel waits for
// its port without counting as a transfer, opens it again by itself once the
// cable is back, and the next download verifies.
#include <gtest/gtest.h>

#include "comm/Channelcodes.h"
#include "core/Model.h"
#include "tests/k7310/K7310host.h"
#include "tests/k7310/Scripteddevice.h"
#include "tests/k7310/Scriptedrun.h"
#include "tests/k7310/Testimage.h"
#include "tests/support/Eventloop.h"

namespace {

struct ReplugCase {
  const char* Name;
  bool DuringRun;      // pulled in the middle of a download, else while ready
  bool StartWhileOut;  // Download clicked while the cable is out
  // The first line of each box shown, in order.
  std::vector<std::string> Boxes;
};

void PrintTo(const ReplugCase& c, std::ostream* out) { *out << c.Name; }

class ReplugTest : public ScriptedRun, public ::testing::WithParamInterface<ReplugCase> {};

bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

// Stands for the port error of a run: which call meets the pulled cable
// first depends on where the run is.
const std::string RunFailure = "(a port error of the run)";

bool SameBoxes(const std::vector<std::string>& shown, const std::vector<std::string>& expected) {
  if (shown.size() != expected.size()) return false;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (expected[i] != RunFailure) {
      if (shown[i] != expected[i]) return false;
    } else if (shown[i] != "Communication: Could not read (STX) port" &&
               shown[i] != "Communication: Could not transmit data" &&
               shown[i] != "Communication: Could not flush transmit data") {
      return false;
    }
  }
  return true;
}

TEST_P(ReplugTest, OneBoxPerFailureWaitsForThePortAndTheNextDownloadVerifies) {
  const ReplugCase& c = GetParam();
  TTestImage image;
  image.Fill(1, 0, 0x2000, 21);
  Device.Start();
  TK7310Host host(DevicePath);
  host.Load(image);
  ASSERT_TRUE(host.WaitForIdle(ReadyText));
  if (c.DuringRun) {
    host.StartDownload();
    ASSERT_TRUE(RunUntil([&] { return Device.Count(TReply::WriteData) >= 3; }, 30000));
  }
  Device.Stop();
  Device.Unplug();

  // Waiting for the port: "Error!" and why, no transfer, nothing to abort.
  const std::string absent = "Error! COM7 (/dev/scripted-k7310) does not exist: check that the adapter is plugged in.";
  ASSERT_TRUE(RunUntil([&] { return host.State() == CmState::PortAbsent && StartsWith(host.StateText(), absent); },
                       30000))
      << host.StateText();
  EXPECT_FALSE(host.Host.ModelPtr->InTransfer());
  if (c.StartWhileOut) {
    host.StartDownload();
    ASSERT_TRUE(RunUntil([&] { return host.Host.Errors().size() == c.Boxes.size(); }, 10000));
  }
  RunFor(300);
  EXPECT_TRUE(SameBoxes(host.Host.ErrorHeads(), c.Boxes)) << ::testing::PrintToString(host.Host.ErrorHeads());
  EXPECT_EQ(host.State(), CmState::PortAbsent);
  if (c.StartWhileOut) {
    // The box says why the port did not open, and what to do.
    EXPECT_NE(host.Host.Errors().back().find("\n" + absent.substr(7)), std::string::npos) << host.Host.Errors().back();
  }
  // Loading a file while the port is out does not make the channel ready.
  host.Load(image, "again.hex");
  RunFor(100);
  EXPECT_EQ(host.State(), CmState::PortAbsent);

  // The cable is back: ready without a click, and the next download verifies.
  Device.Plug();
  Device.Start();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 30000)) << host.StateText();
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 60000)) << host.StateText();
  EXPECT_EQ(Device.Memory(0, 0x2000), image.Part(1));
  EXPECT_TRUE(SameBoxes(host.Host.ErrorHeads(), c.Boxes)) << "no box after the cable came back";

  // The log: the failed run (if any) and the verified one.
  const std::vector<std::string> ends = host.Host.RunEnds();
  ASSERT_EQ(ends.size(), c.DuringRun ? 2u : 1u);
  if (c.DuringRun) {
    EXPECT_NE(ends[0].find(", COM7: failed: Communication: "), std::string::npos) << ends[0];
  }
  EXPECT_NE(ends.back().find("again.hex, COM7: verified, 8192 bytes, "), std::string::npos) << ends.back();
  EXPECT_NE(host.Host.Log().find("COM7 is open again\r\n"), std::string::npos) << host.Host.Log();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplugTest,
    ::testing::Values(
        ReplugCase{"PulledWhileIdle", false, false, {}},
        ReplugCase{"PulledWhileIdleThenDownload", false, true, {"Communication: Invalid Handle"}},
        ReplugCase{"PulledDuringARun", true, false, {RunFailure}},
        ReplugCase{"PulledDuringARunThenDownload", true, true, {RunFailure, "Communication: Invalid Handle"}}),
    [](const ::testing::TestParamInfo<ReplugCase>& param) { return std::string(param.param.Name); });

}  // namespace
