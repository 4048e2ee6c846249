// The download channel against the K7310 simulator over a pseudo-terminal,
// through the model and the worker thread: the byte trace of a run, total
// images for every mix of processors, injected faults, a restart while the
// line is routed to the display, stopping and loading during a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <sstream>

#include "sim/Simk7310.h"
#include "tests/k7310/K7310host.h"
#include "tests/k7310/Relay.h"
#include "tests/k7310/Testimage.h"
#include "tests/k7310/Tracebuilder.h"
#include "tests/support/Eventloop.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

std::unique_ptr<SimK7310> StartSimulator(SimOptions options = {}) {
  auto sim = std::make_unique<SimK7310>(options);
  std::string error;
  EXPECT_TRUE(sim->Start(error)) << error;
  return sim;
}

// The first bytes of a processor's flash, as many as its part holds.
Bytes FlashPart(const SimK7310& sim, int processor, size_t length) {
  const Bytes flash = sim.Flash(processor - 1);
  return {flash.begin(), flash.begin() + static_cast<long>(std::min(length, flash.size()))};
}

void ExpectFlashHoldsImage(const SimK7310& sim, const TTestImage& image) {
  for (int p = 1; p <= 4; ++p) {
    const Bytes part = image.Part(p);
    EXPECT_EQ(FlashPart(sim, p, part.size()), part) << "processor " << p;
  }
}

// Small parts in all four ranges, with empty cells inside the used lengths.
TTestImage FourPartImage(uint64_t seed, int mask = 0xF) {
  TTestImage image;
  if (mask & 1) {
    image.Fill(1, 0, 0x900, seed);
    image.Clear(1, 0x300, 0x20);
  }
  if (mask & 2) {
    image.Fill(2, 0, 1300, seed + 1);
    image.Clear(2, 1024, 100);  // the page the 2048-byte map does not erase
  }
  if (mask & 4) image.Fill(3, 0, 600, seed + 2);
  if (mask & 8) {
    image.Fill(4, 0, 300, seed + 3);
    image.Clear(4, 0, 8);  // the part starts with empty cells
  }
  return image;
}

// Every line a failed reply may write.
bool IsFailureLine(const std::string& line) {
  static const std::regex pattern(
      "(EraseMemComm|EraseMemPageAck|WrMemComm|WrMemAddr|WrMemData|RdMemComm|RdMemAddr|RdMemLen|"
      "VerRdMemComm|VerRdMemLen|GoComm|GoAck): No Ack: [0-9a-f]{2}\r|"
      "EraseMemComm: timeout: \r|"
      "(EraseMemPageAck|WrMemComm|WrMemAddr|WrMemData|RdMemComm|RdMemAddr|RdMemLen|VerRdMemComm|"
      "VerRdMemLen|GoComm|GoAck): Timeout\r|"
      "(RdMemData|VerRdMemData): Length: [0-9]+ [0-9]+\r");
  return std::regex_match(line, pattern);
}

Strings LogLines(const std::string& log) {
  Strings lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(SimulatedDevice, MainPartOf0x900BytesGivesTheDocumentedByteTrace) {
  SimOptions options;
  options.Awake = true;
  auto sim = StartSimulator(options);
  TestPty hostSide;
  ASSERT_TRUE(hostSide.IsOpen());
  TRecordingRelay relay(hostSide, sim->SlavePath());
  ASSERT_TRUE(relay.Start());

  TTestImage image;
  image.Fill(1, 0, 0x900, 21);
  TK7310Host host(relay.HostPath());
  host.Load(image);
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 60000));
  relay.Stop();

  EXPECT_EQ(relay.Trace(), MainPartTrace(image.Part(1)));
  EXPECT_EQ(FlashPart(*sim, 1, 0x900), image.Part(1));
  EXPECT_EQ(host.Host.Log(), "");
}

struct ProcessorMix {
  const char* Name;
  int Mask;  // bit p-1: processor p has data
  Strings ConnectOrder;
  uint8_t FirstHostByte;
  int Reboots;
  const char* EndText;
};

class ProcessorMixes : public ::testing::TestWithParam<ProcessorMix> {};

TEST_P(ProcessorMixes, DownloadsEachPartAndRebootsOnlyAfterEthernet) {
  const ProcessorMix& mix = GetParam();
  auto sim = StartSimulator();
  const TTestImage image = FourPartImage(31, mix.Mask);
  TK7310Host host(sim->SlavePath());
  host.Load(image);
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(mix.EndText, 60000)) << host.StateText();

  EXPECT_EQ(sim->ConnectOrder(), mix.ConnectOrder);
  ASSERT_FALSE(sim->Received().empty());
  EXPECT_EQ(sim->Received()[0], mix.FirstHostByte);
  EXPECT_EQ(sim->Reboots(), mix.Reboots);
  ExpectFlashHoldsImage(*sim, image);
  for (int p = 1; p <= 4; ++p)
    if (!(mix.Mask & (1 << (p - 1)))) {
      EXPECT_EQ(sim->Counts(p - 1).Writes, 0) << "processor " << p;
    }
  EXPECT_EQ(host.Host.Log(), "");
  EXPECT_TRUE(host.Host.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Images, ProcessorMixes,
    ::testing::Values(
        ProcessorMix{"AllFour", 0xF, {"main", "display", "lccomm", "ethernet", "main"}, 0x7F, 1, DoneText},
        ProcessorMix{"DisplayAndEthernet", 0xA, {"display", "ethernet", "main"}, 0x11, 1, DoneText},
        ProcessorMix{"MainOnly", 0x1, {"main"}, 0x7F, 0, ReadyText},
        ProcessorMix{"LoadcellOnly", 0x4, {"lccomm"}, 0x12, 0, ReadyText}),
    [](const ::testing::TestParamInfo<ProcessorMix>& p) { return std::string(p.param.Name); });

TEST(SimulatedDevice, ImageWithoutDataInAnyRangeOpensNoConnection) {
  auto sim = StartSimulator();
  TTestImage image;
  image.Cells[TotalImageSize - 1] = -1;
  TK7310Host host(sim->SlavePath());
  host.Load(image);
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 30000));
  RunFor(200);
  EXPECT_TRUE(sim->Received().empty());
}

class InjectedFaults : public ::testing::TestWithParam<uint64_t> {};

TEST_P(InjectedFaults, EveryRunEndsWithTheFlashEqualToTheImage) {
  SimOptions options;
  options.Seed = GetParam();
  options.Fault(SimFault::Nack) = {0.04, -1};
  options.Fault(SimFault::Drop) = {0.015, -1};
  options.Fault(SimFault::Bitflip) = {0.08, -1};
  auto sim = StartSimulator(options);
  const TTestImage image = FourPartImage(40 + GetParam());
  TK7310Host host(sim->SlavePath());
  host.Load(image);
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(DoneText, 100000)) << host.StateText() << "\n" << host.Host.Log();

  ExpectFlashHoldsImage(*sim, image);
  for (const std::string& line : LogLines(host.Host.Log())) EXPECT_TRUE(IsFailureLine(line)) << line;
  bool commandNacked = false;
  for (const SimFaultEvent& e : sim->FaultEvents())
    if (e.Fault == SimFault::Nack && (e.Where.find("write") != std::string::npos ||
                                      e.Where.find("erase") != std::string::npos))
      commandNacked = true;
  if (commandNacked) {
    EXPECT_NE(host.Host.Log().find("No Ack: 1f\r\n"), std::string::npos);
  }
  EXPECT_GT(sim->FaultCount(SimFault::Nack) + sim->FaultCount(SimFault::Drop) +
                sim->FaultCount(SimFault::Bitflip),
            0);
  EXPECT_TRUE(host.Host.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Seeds, InjectedFaults, ::testing::Values(1u, 2u, 3u));

// Six write acknowledges in a row turned into NACKs while the line is routed
// to the display: the run restarts, and the restart must reach the main
// processor again, not the display it left.
TEST(SimulatedDevice, SixthFailureWhileRoutedToTheDisplayRestartsAtTheMainProcessor) {
  auto sim = StartSimulator();
  TestPty hostSide;
  ASSERT_TRUE(hostSide.IsOpen());
  TRecordingRelay relay(hostSide, sim->SlavePath());
  struct Watch {
    Bytes LastHost;
    bool Display = false;
    int RepliesSinceWrite = -1;
    int Nacked = 0;
  };
  auto watch = std::make_shared<Watch>();
  relay.SetFilter({[watch](const Bytes& fromHost) {
                     watch->LastHost = fromHost;
                     if (fromHost == Bytes{0x31, 0xCE}) watch->RepliesSinceWrite = 0;
                   },
                   [watch](Bytes& fromDevice) {
                     if (watch->LastHost == Bytes{0x11} && fromDevice == Bytes{0x11}) watch->Display = true;
                     if (watch->RepliesSinceWrite < 0) return;
                     // The third reply after 0x31 0xCE acknowledges the data.
                     if (++watch->RepliesSinceWrite == 3 && watch->Display && watch->Nacked < 6 &&
                         fromDevice == Bytes{0x79}) {
                       fromDevice = {0x1F};
                       ++watch->Nacked;
                     }
                   }});
  ASSERT_TRUE(relay.Start());

  const TTestImage image = FourPartImage(50, 0x3);
  TK7310Host host(relay.HostPath());
  host.Load(image);
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 60000)) << host.StateText() << "\n" << host.Host.Log();
  relay.Stop();

  std::string sixNacks;
  for (int i = 0; i < 6; ++i) sixNacks += "WrMemData: No Ack: 1f\r\n";
  EXPECT_EQ(host.Host.Log(), sixNacks);
  EXPECT_TRUE(host.Saw("Retry"));
  // The display's session stays open across the restart: it answers the
  // second 0x7F with 0x1F and opens no new one.
  EXPECT_EQ(sim->ConnectOrder(), (Strings{"main", "display", "main"}));
  EXPECT_GE(sim->RouteFallbacks(), 1);
  EXPECT_EQ(sim->Counts(SimK7310::Display).Connects, 1);
  ExpectFlashHoldsImage(*sim, image);
}

// A noise byte arrives before the acknowledge of a write command. The
// acknowledge behind it answers the failed attempt: read as the reply to the
// repeated command it would put every later reply one off, and the run
// would come back in step only by restarting. Discarded before the repeat,
// it costs one more failure (the device, half-way into the address,
// abandons the repeated command and stays silent) and nothing else.
TEST(SimulatedDevice, NoiseBeforeAnAcknowledgeCostsTwoFailuresAndNoRestart) {
  SimOptions options;
  options.Awake = true;
  auto sim = StartSimulator(options);
  TestPty hostSide;
  ASSERT_TRUE(hostSide.IsOpen());
  TRecordingRelay relay(hostSide, sim->SlavePath());
  struct Watch {
    Bytes LastHost;
    int WriteCommands = 0;
  };
  auto watch = std::make_shared<Watch>();
  relay.SetFilter({[watch](const Bytes& fromHost) {
                     watch->LastHost = fromHost;
                     if (fromHost == Bytes{0x31, 0xCE}) ++watch->WriteCommands;
                   },
                   [watch](Bytes& fromDevice) {
                     // The acknowledge of the third write command.
                     if (watch->LastHost == Bytes{0x31, 0xCE} && watch->WriteCommands == 3 &&
                         fromDevice == Bytes{0x79})
                       fromDevice = {0x80, 0x79};
                   }});
  ASSERT_TRUE(relay.Start());

  TTestImage image;
  image.Fill(1, 0, 0x900, 81);
  TK7310Host host(relay.HostPath());
  host.Load(image);
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 60000)) << host.StateText() << "\n" << host.Host.Log();
  relay.Stop();

  EXPECT_EQ(host.Host.Log(), "WrMemComm: No Ack: 80\r\nWrMemComm: Timeout\r\n");
  EXPECT_EQ(sim->ConnectOrder(), Strings{"main"});
  EXPECT_EQ(sim->Counts(SimK7310::Main).Rejected, 0);
  EXPECT_EQ(FlashPart(*sim, 1, 0x900), image.Part(1));
}

TEST(SimulatedDevice, StopDuringARunGivesReadyAndTheNextStartRunsToTheEnd) {
  auto sim = StartSimulator();
  const TTestImage image = FourPartImage(60, 0xA);
  TK7310Host host(sim->SlavePath());
  host.Load(image);
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(DoneText, 60000));

  // Stopped while the line is routed to the display.
  host.StartDownload();
  const int writesBefore = sim->Counts(SimK7310::Display).Writes;
  ASSERT_TRUE(RunUntil([&] { return sim->Counts(SimK7310::Display).Writes >= writesBefore + 2; }, 30000));
  host.StopDownload();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 10000)) << "a stop resets the count of finished runs";

  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(DoneText, 60000)) << host.StateText();
  ExpectFlashHoldsImage(*sim, image);
  EXPECT_EQ(sim->Reboots(), 2);
  EXPECT_EQ(host.Host.Log(), "");
}

TEST(SimulatedDevice, LoadingAFileDuringARunAbandonsItAndTheNewImageIsDownloaded) {
  auto sim = StartSimulator();
  TTestImage first;
  first.Fill(1, 0, 0x3000, 70);
  TTestImage second;
  second.Fill(1, 0, 0x700, 71);
  TK7310Host host(sim->SlavePath());
  host.Load(first, "first.hex");
  host.StartDownload();
  ASSERT_TRUE(RunUntil([&] { return sim->Counts(SimK7310::Main).Writes >= 3; }, 30000));
  host.Load(second, "second.hex");
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 10000));
  RunFor(300);
  const int writesAfterStop = sim->Counts(SimK7310::Main).Writes;
  RunFor(300);
  EXPECT_EQ(sim->Counts(SimK7310::Main).Writes, writesAfterStop) << "the old run goes on";

  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 60000));
  EXPECT_EQ(FlashPart(*sim, 1, 0x700), second.Part(1));
  EXPECT_EQ(host.Host.Log(), "");
}

}  // namespace
