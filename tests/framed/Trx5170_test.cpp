// The TRX5170L download against the simulated framed boot loader over a
// pseudo-terminal, through the model, the controller and the worker thread.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "hex/Hexfile.h"
#include "sim/Simtrx5170.h"
#include "tests/support/Channelhost.h"
#include "tests/framed/Frames.h"
#include "tests/support/Hexwriter.h"
#include "tests/framed/Simhelpers.h"
#include "tests/support/Pty.h"

namespace {

constexpr int Trx5170Download = 2;  // "Software Download - TRX5170L"
constexpr uint32_t FlashStart = 0xE0000;
constexpr uint32_t FlashEnd = 0x100000;
constexpr const char* Done = "Download done. Ready for new download";
constexpr const char* Ready = "Ready for download";

using ImageBytes = std::map<uint32_t, uint8_t>;

void AddRandom(ImageBytes& bytes, uint32_t from, uint32_t to, uint64_t seed) {
  std::mt19937_64 random(seed);
  for (uint32_t a = from; a < to; ++a) bytes[a] = static_cast<uint8_t>(random());
}

struct Block {
  uint32_t Address = 0;
  std::vector<uint8_t> Bytes;
};

class TrxTest : public ::testing::Test {
 protected:
  void Begin(const ImageBytes& image, SimOptions options = {}, int baud = 115200) {
    Device = StartDevice<SimTrx5170>(SimKind::Trx5170l, options);
    ASSERT_TRUE(Device);
    Host.StartOn(Trx5170Download, Device->SlavePath(), baud);
    ASSERT_TRUE(Host.WaitForText("No file opened for download"));
    ImageFile = Host.Folder() + "/image.hex";
    WriteHexFile(ImageFile, image);
    Host.LoadFile(ImageFile);
    ASSERT_TRUE(Host.WaitForText(Ready));
  }

  void Run(int timeoutMs = 30000) {
    Host.PressStart();
    ASSERT_TRUE(Host.WaitForText(Done, timeoutMs)) << "the run did not end; status " << Host.StateText();
    EXPECT_EQ(Host.State(), 1);
  }

  // The flash the stamped image should leave: 0xFF where a cell is empty.
  std::vector<uint8_t> ExpectedFlash() const {
    const auto image = Host.ModelPtr->SwDl.CurrentImage();
    std::vector<uint8_t> flash;
    for (uint32_t a = FlashStart; a < FlashEnd; ++a) {
      const int32_t b = image->ByteAt(static_cast<int32_t>(a));
      flash.push_back(b < 0 ? 0xFF : static_cast<uint8_t>(b));
    }
    return flash;
  }

  std::vector<WireFrame> HostFrames() const { return SplitFrames(Device->Received()); }

  std::vector<Block> BlocksSent() const {
    std::vector<Block> blocks;
    for (const WireFrame& f : HostFrames()) {
      if (f.Command != 0xE8 || f.Data.size() < 4) continue;
      Block b;
      for (int i = 0; i < 4; ++i) b.Address |= static_cast<uint32_t>(f.Data[i]) << (8 * i);
      b.Bytes.assign(f.Data.begin() + 4, f.Data.end());
      blocks.push_back(b);
    }
    return blocks;
  }

  int Count(uint8_t command) const {
    int n = 0;
    for (const WireFrame& f : HostFrames()) n += f.Command == command;
    return n;
  }

  ChannelHost Host;
  // The worker ends before the host goes: it may still log (a device
  // stopped by the test hangs up) while the host's destructors run.
  void TearDown() override { Host.Shutdown(); }
  std::unique_ptr<SimTrx5170> Device;
  std::string ImageFile;
};

std::vector<uint8_t> UnlockSignature() {
  const std::pair<uint32_t, uint8_t> table[8] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80},
                                                 {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xAA},
                                                 {0x2AAA, 0x55}, {0x5555, 0xA0}};
  std::vector<uint8_t> data;
  for (const auto& [address, byte] : table) {
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(address >> (8 * i)));
    data.push_back(byte);
  }
  data.push_back(0);
  return data;
}

TEST_F(TrxTest, FullRunProgramsTheStampedImage) {
  ImageBytes image;
  AddRandom(image, 0xE0000, 0xE8000, 1);
  for (uint32_t a = 0xE1000; a < 0xE1100; ++a) image[a] = 0xFF;  // 0xFF inside data
  for (uint32_t a = 0xEA000; a < 0xEA400; ++a) image[a] = 0xFF;  // a stretch of 0xFF alone
  AddRandom(image, 0xEFF80, 0xF0100, 2);                           // across a 64 KiB segment
  AddRandom(image, 0xF4000, 0xF7FFC, 3);                           // up to the checksum
  AddRandom(image, 0xFC000, 0x100000, 4);                          // up to the last address
  Begin(image);
  TextRecorder progress(Host.ModelPtr->SwDl.AddressText);
  Run(120000);

  EXPECT_EQ(Device->Flash(), ExpectedFlash());
  EXPECT_EQ(Host.AddressText(), "");

  // The order of the dialogue: connect, revision, rate, unlock; polls and
  // blocks; polls until the device takes the closing frame; the closing frame.
  const std::vector<WireFrame> frames = HostFrames();
  ASSERT_GE(frames.size(), 6u);
  EXPECT_EQ(frames[0].Command, 0x00);
  EXPECT_EQ(frames[1].Command, 0xE0);
  EXPECT_EQ(frames[2].Command, 0xE2);
  EXPECT_EQ(frames[2].Data, (std::vector<uint8_t>{0x00, 0xC2, 0x01, 0x00}));  // 115200
  EXPECT_EQ(frames[3].Command, 0xE4);
  EXPECT_EQ(frames[3].Data, UnlockSignature());
  EXPECT_EQ(frames.back().Command, 0xE4);
  std::vector<uint8_t> closing(41, 0);
  closing[40] = 1;
  EXPECT_EQ(frames.back().Data, closing);
  EXPECT_EQ(frames[frames.size() - 2].Command, 0xEA);
  EXPECT_EQ(Count(0xE4), 2);
  EXPECT_EQ(Device->Unlocks(), 1);
  EXPECT_EQ(Device->Closings(), 1);
  // The device was busy after blocks, and the channel polled it.
  EXPECT_GT(Device->BusyReports(), 0);
  EXPECT_GT(Count(0xEA), 1);

  // Blocks of at most 64 bytes that neither start nor end with 0xFF, in
  // rising order, none inside the 0xFF stretch or the empty cells.
  const std::vector<Block> blocks = BlocksSent();
  ASSERT_FALSE(blocks.empty());
  uint32_t next = FlashStart;
  const Block* previous = nullptr;
  for (const Block& b : blocks) {
    ASSERT_GE(b.Bytes.size(), 1u);
    EXPECT_LE(b.Bytes.size(), 64u);
    EXPECT_NE(b.Bytes.front(), 0xFF) << std::hex << b.Address;
    EXPECT_NE(b.Bytes.back(), 0xFF) << std::hex << b.Address;
    // A block whose answer came too late on a loaded machine goes out again,
    // unchanged; anything else moves forward.
    const bool resent = previous && b.Address == previous->Address && b.Bytes == previous->Bytes;
    if (!resent) {
      EXPECT_GE(b.Address, next);
    }
    previous = &b;
    next = b.Address + static_cast<uint32_t>(b.Bytes.size());
    for (uint32_t a = b.Address; a < next; ++a) {
      EXPECT_FALSE(a >= 0xEA000 && a < 0xEA400) << std::hex << a;
      EXPECT_FALSE(a >= 0xE8000 && a < 0xEA000) << std::hex << a;
    }
  }
  EXPECT_LE(next, FlashEnd);

  // 1200 baud, the configured rate, 1200 again; connect, revision and rate
  // request at 1200, everything from the unlock on at the configured rate.
  EXPECT_TRUE(RunUntil([&] { return Device->BaudRates().size() >= 3; }));
  EXPECT_EQ(Device->BaudRates(), (std::vector<int>{1200, 115200, 1200}));
  const std::vector<SimFrameRecord> seen = Device->Frames();
  ASSERT_GE(seen.size(), 4u);
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].BaudRate, i < 3 ? 1200 : 115200) << i;

  // The progress text counts the offset up to the end of the image.
  EXPECT_TRUE(progress.Saw("131072"));
  long last = -1;
  for (const std::string& text : progress.Seen()) {
    if (text.empty()) continue;
    EXPECT_GE(std::stol(text), last);
    last = std::stol(text);
  }
}

// Data that ends below the last address: once the last block is taken, the
// closing polls go on showing the offset where that block ended, not the end
// of the image.
TEST_F(TrxTest, TheClosingPollsShowTheOffsetWhereTheLastBlockEnded) {
  ImageBytes image;
  for (uint32_t a = 0xF0000; a < 0xF7FFC; ++a) image[a] = 0x5A;  // then the checksum: blocks end at 0xF8000
  Begin(image);
  TextRecorder progress(Host.ModelPtr->SwDl.AddressText);
  Run(60000);

  std::vector<std::string> shown;
  for (const std::string& text : progress.Seen())
    if (!text.empty()) shown.push_back(text);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), "98304") << "0xF8000 - 0xE0000";
  EXPECT_FALSE(progress.Saw("131072"));
}

TEST_F(TrxTest, BlocksAreCutAtTrailingFfAndCarryFfForEmptyCells) {
  ImageBytes image;
  for (uint32_t a = 0xE0000; a < 0xE003C; ++a) image[a] = 0x11;
  for (uint32_t a = 0xE003C; a < 0xE0040; ++a) image[a] = 0xFF;  // window ends in 0xFF
  image[0xE0040] = image[0xE0041] = image[0xE0042] = 0xFF;      // skipped
  image[0xE0043] = 0x22;
  image[0xE0045] = 0x33;  // 0xE0044 stays empty
  image[0xFFFFF] = 0x44;  // the last address alone
  Begin(image);
  Run();

  const auto stamped = Host.ModelPtr->SwDl.CurrentImage();
  std::vector<uint8_t> stamp;
  for (int32_t a = 0xF7FFC; a < 0xF8000; ++a) stamp.push_back(static_cast<uint8_t>(stamped->ByteAt(a)));
  ASSERT_NE(stamp.front(), 0xFF);
  ASSERT_NE(stamp.back(), 0xFF);

  const std::vector<Block> blocks = BlocksSent();
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[0].Address, 0xE0000u);
  EXPECT_EQ(blocks[0].Bytes, std::vector<uint8_t>(0x3C, 0x11));
  EXPECT_EQ(blocks[1].Address, 0xE0043u);
  EXPECT_EQ(blocks[1].Bytes, (std::vector<uint8_t>{0x22, 0xFF, 0x33}));
  EXPECT_EQ(blocks[2].Address, 0xF7FFCu);
  EXPECT_EQ(blocks[2].Bytes, stamp);
  EXPECT_EQ(blocks[3].Address, 0xFFFFFu);
  EXPECT_EQ(blocks[3].Bytes, std::vector<uint8_t>{0x44});
  EXPECT_EQ(Device->Flash(), ExpectedFlash());

  // Loading an image while ready keeps the count of completed runs.
  Host.LoadFile(ImageFile);
  RunFor(100);
  EXPECT_EQ(Host.StateText(), Done);
}

class TrxDropTest : public TrxTest, public ::testing::WithParamInterface<uint64_t> {};

// A lost answer is followed, after the reply time-out, by the same request:
// a lost block answer by the same block, byte for byte.
TEST_P(TrxDropTest, LostAnswersAreResentWithTheSameBytes) {
  SimOptions options;
  options.Seed = GetParam();
  options.Fault(SimFault::Drop) = {0.2, 3};
  ImageBytes image;
  AddRandom(image, 0xE0000, 0xE0000 + 40 * 64, GetParam());
  Begin(image, options);
  Run();
  EXPECT_EQ(Device->FaultCount(SimFault::Drop), 3);
  EXPECT_EQ(Device->Flash(), ExpectedFlash());

  // Every block goes out until it is answered; a resend repeats it exactly.
  const std::vector<Block> blocks = BlocksSent();
  int resent = 0;
  for (size_t i = 1; i < blocks.size(); ++i) {
    if (blocks[i].Address != blocks[i - 1].Address) {
      EXPECT_GT(blocks[i].Address, blocks[i - 1].Address);
      continue;
    }
    ++resent;
    EXPECT_EQ(blocks[i].Bytes, blocks[i - 1].Bytes);
  }
  EXPECT_GT(resent, 0) << "no block answer was lost with this seed";
}

INSTANTIATE_TEST_SUITE_P(Seeds, TrxDropTest, ::testing::Values(uint64_t{11}, uint64_t{15}, uint64_t{16}));

struct TrxFaultCase {
  const char* Name;
  SimFault Fault;
  SimFaultSetting Setting;
  uint64_t Seed;
};

class TrxFaultTest : public TrxTest, public ::testing::WithParamInterface<TrxFaultCase> {};

// Noise before answers, damaged check bytes and answers split over several
// writes: the run still ends with the flash equal to the image.
TEST_P(TrxFaultTest, RunEndsWithTheFlashRight) {
  SimOptions options;
  options.Seed = GetParam().Seed;
  options.Fault(GetParam().Fault) = GetParam().Setting;
  ImageBytes image;
  AddRandom(image, 0xE0000, 0xE0000 + 16 * 64, GetParam().Seed);
  Begin(image, options);
  Run();
  EXPECT_GT(Device->FaultCount(GetParam().Fault), 0);
  EXPECT_EQ(Device->Flash(), ExpectedFlash());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TrxFaultTest,
    ::testing::Values(TrxFaultCase{"Noise", SimFault::Noise, {0.5, -1}, 3},
                      TrxFaultCase{"WrongCheckByte", SimFault::Corrupt, {0.3, 2}, 5},
                      TrxFaultCase{"Split", SimFault::Split, {0.7, -1}, 7}),
    [](const ::testing::TestParamInfo<TrxFaultCase>& p) { return p.param.Name; });

// The device takes the closing frame, locks and goes back to 1200 baud, but
// its answer is lost or garbled on the way. The flash is programmed; a
// closing frame sent again at the configured rate would never be answered,
// so the resend goes out at 1200 baud and the run ends. The seeds put the
// one fault on the closing answer.
class TrxClosingAnswerTest : public TrxTest, public ::testing::WithParamInterface<TrxFaultCase> {};

TEST_P(TrxClosingAnswerTest, RunEndsAndThePortIsBackAt1200) {
  SimOptions options;
  options.Seed = GetParam().Seed;
  options.Fault(GetParam().Fault) = GetParam().Setting;
  Begin({{0xE0000, 0x11}}, options);
  Run(10000);
  const std::vector<SimFaultEvent> events = Device->FaultEvents();
  ASSERT_EQ(events.size(), 1u);
  ASSERT_EQ(events[0].Where, "closing answer") << "the seed no longer puts the fault on the closing answer";
  EXPECT_EQ(Device->Flash(), ExpectedFlash());
  EXPECT_FALSE(Device->Unlocked());
  EXPECT_EQ(Device->Closings(), 1);
  // Unlock, closing frame, and the closing frame again at 1200 baud.
  EXPECT_EQ(Count(0xE4), 3);
  const std::vector<SimFrameRecord> frames = Device->Frames();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back().Command, 0xE4);
  EXPECT_EQ(frames.back().BaudRate, 1200);
  EXPECT_TRUE(RunUntil([&] { return Device->BaudRates().back() == 1200; }));

  // The next run starts at 1200 baud as every run does, and ends.
  Host.PressStart();
  ASSERT_TRUE(RunUntil([&] { return Device->Closings() == 2 && Host.State() == 1; }, 10000)) << Host.StateText();
  EXPECT_TRUE(Host.WaitForText(Done));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TrxClosingAnswerTest,
    ::testing::Values(TrxFaultCase{"Lost", SimFault::Drop, {0.2, 1}, 40},
                      TrxFaultCase{"Garbled", SimFault::Corrupt, {0.2, 1}, 21}),
    [](const ::testing::TestParamInfo<TrxFaultCase>& p) { return p.param.Name; });

// An abort in the data phase shows "Ready for download" and leaves the port at
// 1200 baud. The device still listens at the fast rate until its session
// times out, so the next run's connect attempts time out and are counted.
TEST_F(TrxTest, AbortInTheDataPhaseAndTheConnectCounter) {
  SimOptions options;
  options.SessionTimeoutMs = 1500;
  ImageBytes image;
  AddRandom(image, 0xE0000, 0xE0000 + 8192, 21);
  Begin(image, options);
  TextRecorder status(Host.ModelPtr->SwDl.StateText);
  Run();
  EXPECT_TRUE(status.Saw("Connecting 0"));
  EXPECT_TRUE(status.Saw("Aqquiring BIOS revision"));
  EXPECT_TRUE(status.Saw("Setting baudrate at 115200 baud"));
  EXPECT_TRUE(status.Saw("Transferring Flash Unlock Signature"));
  EXPECT_TRUE(status.Saw("Transferring data"));

  Host.PressStart();
  ASSERT_TRUE(RunUntil([&] { return Host.State() >= 12 && Host.State() <= 15; }));
  Host.PressAbort();
  EXPECT_EQ(Host.State(), 1);
  ASSERT_TRUE(Host.WaitForText(Ready));  // the completed run is no longer counted
  EXPECT_EQ(Host.AddressText(), "");
  ASSERT_TRUE(RunUntil([&] { return Device->BaudRates().size() == 5; }));
  EXPECT_EQ(Device->BaudRates(), (std::vector<int>{1200, 115200, 1200, 115200, 1200}));

  Run();
  EXPECT_TRUE(status.Saw("Connecting 1"));
  EXPECT_TRUE(status.Saw("Connecting 2"));
  EXPECT_EQ(Device->Flash(), ExpectedFlash());
  EXPECT_TRUE(RunUntil([&] { return Device->BaudRates().size() >= 7; }));
  EXPECT_EQ(Device->BaudRates().back(), 1200);
}

TEST(Trx5170, AbortWithoutImageKeepsNoFileAndStartDoesNothing) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  ChannelHost host;
  host.StartOn(Trx5170Download, pty.SlavePath(), 115200);
  ASSERT_TRUE(host.WaitForText("No file opened for download"));
  host.PressAbort();
  host.PressStart();
  RunFor(200);
  EXPECT_EQ(host.State(), 0);
  EXPECT_EQ(host.StateText(), "No file opened for download");
  EXPECT_TRUE(pty.ReadUntilQuiet(100, 300).empty());  // nothing was sent
}

// The port never opened: the channel waits for it. Loading an image or a
// stop leaves it waiting; a start tries to open it once and shows why not.
TEST(Trx5170, PortThatNeverOpenedWaitsThroughLoadAndStopAndAStartShowsOneBox) {
  ChannelHost host;
  host.StartOn(Trx5170Download, "", 9600);
  ASSERT_TRUE(RunUntil([&] { return host.StateText().rfind("Error! COM250 names no serial port.", 0) == 0; }))
      << host.StateText();
  EXPECT_EQ(host.State(), 3);
  ImageBytes image = {{0xE0000, 0x01}};
  const std::string file = host.Folder() + "/one.hex";
  WriteHexFile(file, image);
  host.LoadFile(file);
  host.PressAbort();
  RunFor(50);
  EXPECT_EQ(host.State(), 3);
  EXPECT_EQ(host.ErrorHeads(), std::vector<std::string>{"Communication: Invalid Handle"});

  host.PressStart();
  ASSERT_TRUE(RunUntil([&] { return host.Errors().size() >= 2; }));
  RunFor(100);
  EXPECT_EQ(host.ErrorHeads(), (std::vector<std::string>{"Communication: Invalid Handle", "Communication: Invalid Handle"}));
  EXPECT_EQ(host.State(), 3);
}

}  // namespace

namespace {

// Returning the port to 1200 baud runs on the host thread; when the line is
// gone that fails, and the error is raised by the next step instead.
TEST(Trx5170, FailedReturnTo1200IsReportedFromTheWorkerThread) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  ChannelHost host;
  host.StartOn(Trx5170Download, pty.SlavePath(), 115200);
  ASSERT_TRUE(host.WaitForText("No file opened for download"));
  pty.CloseMaster();
  pty.CloseSlave();
  host.PressAbort();  // state 0 is not 1: the port goes back to 1200 baud
  EXPECT_EQ(host.State(), 0);
  ASSERT_TRUE(RunUntil([&] { return !host.Errors().empty(); }));
  EXPECT_EQ(host.Errors().front(), "Communication: Could not get settings");
}

// A stalled line (the device end takes nothing): the request's write gives
// up within the wire time of its bytes and 2 s, so an Abort pressed while the
// step is stuck in it waits for that step only, never for ever, and the
// channel is rebuilt.
TEST(Trx5170, AbortWhileARequestIsStuckInItsWriteReturnsOnceTheWriteGivesUp) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  ASSERT_TRUE(pty.FillLine());
  ChannelHost host;
  host.StartOn(Trx5170Download, pty.SlavePath(), 9600);
  const std::string file = host.Folder() + "/one.hex";
  WriteHexFile(file, ImageBytes{{0xE0000, 0x01}});
  host.LoadFile(file);
  ASSERT_TRUE(host.WaitForText(Ready));
  host.PressStart();
  ASSERT_TRUE(RunUntil([&] { return host.State() >= 4; }));
  RunFor(200);  // the connect request's write is stuck now

  const auto start = std::chrono::steady_clock::now();
  host.PressAbort();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_TRUE(RunUntil([&] { return !host.Errors().empty(); }, 10000));
  EXPECT_EQ(host.Errors()[0], "Communication: Could not transmit data");
  ASSERT_TRUE(RunUntil([&] { return host.UpdateCalls > 0 && host.StateText() == Ready; }, 10000));
}

}  // namespace
