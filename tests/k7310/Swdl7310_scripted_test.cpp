// The download channel against a scripted device that fails chosen replies:
// the exact bytes of a run, the log line of every failed reply, the retry
// limit, the wake-up of a sleeping main processor, the read time-out on a
// slow line. Runs through the model and the worker thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/k7310/K7310host.h"
#include "tests/k7310/Scripteddevice.h"
#include "tests/k7310/Scriptedrun.h"
#include "tests/k7310/Testimage.h"
#include "tests/k7310/Tracebuilder.h"
#include "tests/support/Eventloop.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST_F(ScriptedRun, MainPartOf0x900BytesGivesTheDocumentedByteTrace) {
  TTestImage image;
  image.Fill(1, 0, 0x900, 11);
  Device.Start();
  TK7310Host host(DevicePath);
  host.Load(image);
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 10000));
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 60000));
  Device.Stop();

  EXPECT_EQ(Device.Trace(), MainPartTrace(image.Part(1)));
  EXPECT_EQ(Device.Memory(0, 0x900), image.Part(1));
  EXPECT_EQ(host.Host.Log(), "");
  EXPECT_TRUE(host.Host.Errors().empty());
}

// Each reply kind fails once in one run, each with its own byte or by
// silence; every failure writes its line, the run still ends right, and no
// more than five failures fall between two reset points.
struct FailedReply {
  TReply Kind;
  bool Verification;  // a read of the verification pass, not of the read-back
  TScriptedDevice::TChange Change;
  const char* LogLine;
};

std::vector<FailedReply> ByteFailures() {
  auto byte = [](uint8_t b) { return [b](Bytes) { return Bytes{b}; }; };
  return {
      {TReply::EraseCommand, false, byte(0x1F), "EraseMemComm: No Ack: 1f\r\n"},
      {TReply::ErasePage, false, byte(0xA5), "EraseMemPageAck: No Ack: a5\r\n"},
      {TReply::WriteCommand, false, byte(0x00), "WrMemComm: No Ack: 00\r\n"},
      {TReply::WriteAddress, false, byte(0xFF), "WrMemAddr: No Ack: ff\r\n"},
      {TReply::WriteData, false, byte(0x1F), "WrMemData: No Ack: 1f\r\n"},
      {TReply::ReadCommand, false, byte(0x80), "RdMemComm: No Ack: 80\r\n"},
      {TReply::ReadAddress, false, byte(0x1F), "RdMemAddr: No Ack: 1f\r\n"},
      {TReply::ReadLength, false, byte(0x7A), "RdMemLen: No Ack: 7a\r\n"},
      {TReply::ReadData, false, [](Bytes d) { d.pop_back(); return d; }, "RdMemData: Length: 255 256\r\n"},
      {TReply::ReadCommand, true, byte(0x1F), "VerRdMemComm: No Ack: 1f\r\n"},
      {TReply::ReadAddress, true, byte(0x1F), "VerRdMemLen: No Ack: 1f\r\n"},
      {TReply::ReadLength, true, byte(0x1F), "VerRdMemLen: No Ack: 1f\r\n"},
      {TReply::ReadData, true, [](Bytes d) { d.resize(10); return d; }, "VerRdMemData: Length: 10 256\r\n"},
      {TReply::GoCommand, false, byte(0x1F), "GoComm: No Ack: 1f\r\n"},
      {TReply::GoAddress, false, byte(0x1F), "GoAck: No Ack: 1f\r\n"},
  };
}

std::vector<FailedReply> SilentFailures() {
  auto silence = [](Bytes) { return Bytes{}; };
  return {
      {TReply::EraseCommand, false, silence, "EraseMemComm: timeout: \r\n"},
      {TReply::ErasePage, false, silence, "EraseMemPageAck: Timeout\r\n"},
      {TReply::WriteCommand, false, silence, "WrMemComm: Timeout\r\n"},
      {TReply::WriteAddress, false, silence, "WrMemAddr: Timeout\r\n"},
      {TReply::WriteData, false, silence, "WrMemData: Timeout\r\n"},
      {TReply::ReadCommand, false, silence, "RdMemComm: Timeout\r\n"},
      {TReply::ReadAddress, false, silence, "RdMemAddr: Timeout\r\n"},
      {TReply::ReadLength, false, silence, "RdMemLen: Timeout\r\n"},
      {TReply::ReadData, false, silence, "RdMemData: Length: 0 256\r\n"},
      {TReply::ReadCommand, true, silence, "VerRdMemComm: Timeout\r\n"},
      {TReply::ReadAddress, true, silence, "VerRdMemLen: Timeout\r\n"},
      {TReply::ReadLength, true, silence, "VerRdMemLen: Timeout\r\n"},
      {TReply::ReadData, true, silence, "VerRdMemData: Length: 0 256\r\n"},
      {TReply::GoCommand, false, silence, "GoComm: Timeout\r\n"},
      {TReply::GoAddress, false, silence, "GoAck: Timeout\r\n"},
  };
}

// Arms the device for a one-block run in which each listed reply fails once,
// and gives the log those failures write. A failed reply repeats its group
// from the group's command, so the occurrence of each failing reply follows
// from the attempts before it.
std::string ArmFailures(TScriptedDevice& device, const std::vector<FailedReply>& failures) {
  using K = TReply;
  const std::vector<std::vector<K>> groups = {
      {K::EraseCommand, K::ErasePage},
      {K::WriteCommand, K::WriteAddress, K::WriteData},
      {K::ReadCommand, K::ReadAddress, K::ReadLength, K::ReadData},  // read-back
      {K::ReadCommand, K::ReadAddress, K::ReadLength, K::ReadData},  // verification
      {K::GoCommand, K::GoAddress},
  };
  std::map<K, int> used;
  std::string log;
  for (size_t g = 0; g < groups.size(); ++g) {
    const bool verification = g == 3;
    for (const FailedReply& f : failures) {
      const auto& kinds = groups[g];
      if (std::find(kinds.begin(), kinds.end(), f.Kind) == kinds.end() ||
          (g >= 2 && g <= 3 && f.Verification != verification))
        continue;
      for (K k : kinds) {
        const int occurrence = used[k]++;
        if (k == f.Kind) {
          device.Change(k, occurrence, f.Change);
          log += f.LogLine;
          break;
        }
      }
    }
    for (K k : groups[g]) ++used[k];
  }
  return log;
}

class FailedReplies : public ScriptedRun, public ::testing::WithParamInterface<bool> {};

TEST_P(FailedReplies, EachFailureLogsItsLineAndTheRunStillEndsRight) {
  const std::vector<FailedReply> failures = GetParam() ? SilentFailures() : ByteFailures();
  const std::string expectedLog = ArmFailures(Device, failures);
  ASSERT_EQ(std::count(expectedLog.begin(), expectedLog.end(), '\n'), 15);

  TTestImage image;
  image.Fill(1, 0, 256, 5);
  const auto host = RunToEnd(image, ReadyText, 90000);
  ASSERT_TRUE(host);

  EXPECT_EQ(host->Host.Log(), expectedLog);
  EXPECT_EQ(Device.Memory(0, 256), image.Part(1));
  EXPECT_EQ(Device.Count(TReply::Connect), 1) << "no restart: at most five failures between reset points";
  EXPECT_TRUE(host->Host.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(ByteOrSilence, FailedReplies, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Silence" : "WrongByte"; });

}  // namespace

namespace {

TEST_F(ScriptedRun, SixthFailureInARowRestartsFromConnect) {
  for (int i = 0; i < 6; ++i) Device.Change(TReply::WriteCommand, i, [](Bytes) { return Bytes{0x1F}; });
  TTestImage image;
  image.Fill(1, 0, 300, 8);
  const auto run = RunToEnd(image, ReadyText, 60000);
  ASSERT_TRUE(run);
  const TK7310Host& host = *run;

  std::string sixNacks;
  for (int i = 0; i < 6; ++i) sixNacks += "WrMemComm: No Ack: 1f\r\n";
  EXPECT_EQ(host.Host.Log(), sixNacks);
  EXPECT_EQ(Device.Count(TReply::Connect), 2);
  EXPECT_EQ(Device.Count(TReply::WriteCommand), 6 + 2);  // then blocks of 256 and 44 bytes
  const std::vector<std::string> texts = host.TextsSeen();
  const auto retry = std::find(texts.begin(), texts.end(), "Retry");
  ASSERT_NE(retry, texts.end());
  EXPECT_NE(std::find(retry, texts.end(), "Connecting"), texts.end()) << "a fresh start from connect";
  EXPECT_EQ(Device.Memory(0, 300), image.Part(1));
}

TEST_F(ScriptedRun, SleepingMainProcessorIsWokenWithBootAndConnectedAgain) {
  Device.Asleep = true;
  TTestImage image;
  image.Fill(1, 0, 16, 9);
  const auto host = RunToEnd(image, ReadyText, 30000);
  ASSERT_TRUE(host);

  const std::vector<TTraceChunk> trace = Device.Trace();
  ASSERT_GE(trace.size(), 4u);
  EXPECT_EQ(trace[0], (TTraceChunk{true, {0x7F}}));
  EXPECT_EQ(trace[1], (TTraceChunk{false, {0x16}}));
  EXPECT_EQ(trace[2], (TTraceChunk{true, {'B', 'O', 'O', 'T', 0x7F}}));
  EXPECT_EQ(trace[3], (TTraceChunk{false, {0x79}}));
  EXPECT_EQ(Device.Memory(0, 16), image.Part(1));
  EXPECT_EQ(host->Host.Log(), "");
}

// At 1200 baud a block of 200 bytes needs 1.83 s on the wire: more than the
// 1000 ms a read may take on a fast line.
TEST_F(ScriptedRun, SlowLineReadsABlockThatTakesLongerThanASecond) {
  Device.PaceBaud = 1200;
  TTestImage image;
  image.Fill(1, 0, 200, 10);
  Device.Start();
  TK7310Host host(DevicePath, 1200);
  host.Load(image);
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 60000)) << host.Host.Log();
  Device.Stop();
  EXPECT_EQ(host.Host.Log(), "");
  EXPECT_EQ(Device.Memory(0, 200), image.Part(1));
}

}  // namespace
