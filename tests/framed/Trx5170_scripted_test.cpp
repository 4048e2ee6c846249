// The TRX5170L download against the scripted framed device on a fake clock:
// the exact frames of a run, lost and late answers against the 500 ms reply
// time, the closing polls and a port error met on the host thread. Runs
// through the model and the worker thread; fake time makes the time-outs
// take no real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "hex/Hexfile.h"
#include "tests/framed/Framedrun.h"
#include "tests/framed/Frames.h"
#include "tests/framed/Simhelpers.h"
#include "tests/support/Hexwriter.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

constexpr int Trx5170Download = 2;  // "Software Download - TRX5170L"
constexpr const char* Ready = "Ready for download";
constexpr const char* Done = "Download done. Ready for new download";

Bytes Le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

Bytes Joined(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes UnlockData() {
  const std::pair<uint32_t, uint8_t> cycles[8] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80},
                                                  {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xAA},
                                                  {0x2AAA, 0x55}, {0x5555, 0xA0}};
  Bytes data;
  for (const auto& [address, byte] : cycles) data = Joined(Joined(data, Le32(address)), {byte});
  data.push_back(0);
  return data;
}

Bytes ClosingData() {
  Bytes data(41, 0);
  data[40] = 1;
  return data;
}

class TrxScripted : public FramedRun {
 protected:
  // Loads the image (the loaded image gets its checksum stamped) and waits
  // until the channel is ready.
  void Load(const std::map<uint32_t, uint8_t>& image) {
    Begin(Trx5170Download, "image.hex", IntelHex(ChunksOf(image)), Ready);
  }

  void RunToEnd() {
    Host.PressStart();
    ASSERT_TRUE(Host.WaitForText(Done, 20000)) << "the run did not end; status " << Host.StateText();
  }

  // The loaded image's byte at address, 0xFF for an empty cell.
  uint8_t Cell(uint32_t address) const {
    const int32_t b = Host.ModelPtr->SwDl.CurrentImage()->ByteAt(static_cast<int32_t>(address));
    return b < 0 ? 0xFF : static_cast<uint8_t>(b);
  }
  Bytes Cells(uint32_t from, uint32_t to) const {
    Bytes bytes;
    for (uint32_t a = from; a < to; ++a) bytes.push_back(Cell(a));
    return bytes;
  }

  // What the device's flash should hold: every cell of the loaded image that
  // is neither empty nor 0xFF (those are erased flash already).
  std::map<uint32_t, uint8_t> ExpectedFlash() const {
    std::map<uint32_t, uint8_t> flash;
    for (uint32_t a = 0xE0000; a < 0x100000; ++a)
      if (Cell(a) != 0xFF) flash[a] = Cell(a);
    return flash;
  }
  // What the blocks wrote, without the 0xFF cells inside them.
  std::map<uint32_t, uint8_t> WrittenFlash() const {
    std::map<uint32_t, uint8_t> written = Device.Flash();
    std::erase_if(written, [](const auto& cell) { return cell.second == 0xFF; });
    return written;
  }
};

std::map<uint32_t, uint8_t> Pattern(uint32_t from, uint32_t to) {
  std::map<uint32_t, uint8_t> image;
  for (uint32_t a = from; a < to; ++a) image[a] = static_cast<uint8_t>(0x10 + (a - from) % 0xE0);
  return image;
}

// Two blocks of data and the checksum's block. The device is busy after the
// first block for one poll and after the last for two: the channel polls
// until the device takes a block again, and after the data until it takes
// the closing frame.
TEST_F(TrxScripted, RunGivesTheExactFramesAtTheirRates) {
  Device.BusyAfterBlock(0, 1);
  Device.BusyAfterBlock(2, 2);
  Load(Pattern(0xE0000, 0xE0050));
  const Bytes stamp = Cells(0xF7FFC, 0xF8000);
  ASSERT_NE(stamp.front(), 0xFF);
  ASSERT_NE(stamp.back(), 0xFF);
  TextRecorder progress(Host.ModelPtr->SwDl.AddressText);
  RunToEnd();

  constexpr uint8_t Busy = DeviceStatus::Unlocked;
  constexpr uint8_t Takes = DeviceStatus::Ready;
  auto host = [](uint8_t command, const Bytes& data) { return TTraceFrame{true, MakeFrame(command, data)}; };
  auto device = [](uint8_t command, const Bytes& data) { return TTraceFrame{false, MakeFrame(command, data)}; };
  auto poll = [&](uint8_t status, uint32_t written) {
    return std::vector<TTraceFrame>{host(0xEA, {}), device(0xEB, Joined({status}, Le32(written)))};
  };
  auto block = [&](uint32_t address, const Bytes& data, uint8_t status) {
    return std::vector<TTraceFrame>{host(0xE8, Joined(Le32(address), data)),
                                    device(0xE9, Joined({0, status}, Le32(address)))};
  };
  std::vector<TTraceFrame> expected = {
      host(0x00, {}),           device(0x01, {0x51, 0x70, 0x01}),
      host(0xE0, {}),           device(0xE1, {'T', 'R', 'X', ' ', 'B', 'L', ' ', '2', '.', '0'}),
      host(0xE2, Le32(115200)), device(0xE3, {0}),
      host(0xE4, UnlockData()), device(0xE5, {0}),
  };
  auto add = [&](const std::vector<TTraceFrame>& frames) { expected.insert(expected.end(), frames.begin(), frames.end()); };
  add(poll(Takes, 0));
  add(block(0xE0000, Cells(0xE0000, 0xE0040), Busy));
  add(poll(Busy, 64));
  add(poll(Takes, 64));
  add(block(0xE0040, Cells(0xE0040, 0xE0050), Takes));
  add(block(0xF7FFC, stamp, Busy));
  // The closing polls: busy twice, then a block would be taken but no data
  // is left, then the closing frame is taken.
  add(poll(Busy, 84));
  add(poll(Busy, 84));
  add(poll(Takes, 84));
  add(poll(Takes, 84));
  add({host(0xE4, ClosingData()), device(0xE5, {0})});
  EXPECT_EQ(TraceOf(Device.Records()), expected);

  // Connect, revision and rate request at 1200 baud, the rest at the
  // configured rate; the port goes back to 1200 at the end.
  const std::vector<TLineRecord> writes = HostWrites();
  for (size_t i = 0; i < writes.size(); ++i) EXPECT_EQ(writes[i].Baud, i < 3 ? 1200 : 115200) << i;
  // Open and the image's loading set 1200 baud.
  EXPECT_EQ(Device.RatesSet(), (std::vector<int32_t>{1200, 1200, 115200, 1200}));
  EXPECT_EQ(WrittenFlash(), ExpectedFlash());
  EXPECT_EQ(Device.Closings(), 1);

  // During the closing polls the progress shows where the scan ended: after
  // the 64-address window of the last block.
  std::vector<std::string> shown;
  for (const std::string& text : progress.Seen())
    if (!text.empty()) shown.push_back(text);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), "98364") << "0xF803C - 0xE0000";
  EXPECT_EQ(Host.AddressText(), "");
  EXPECT_EQ(Host.Errors(), std::vector<std::string>{});
}

// Each request whose answer is lost goes out again, byte for byte, once the
// 500 ms reply time has passed after the request left the line; only the
// connect attempts are counted in the status. A lost closing answer (the
// device has locked and gone back to 1200 baud) is followed by the closing
// frame at 1200 baud.
struct LostAnswer {
  const char* Name;
  uint8_t Command;
  int Occurrence;
  bool CountedAsConnectAttempt;
  int32_t ResendBaud;
};

class TrxLostAnswer : public TrxScripted, public ::testing::WithParamInterface<LostAnswer> {};

TEST_P(TrxLostAnswer, RequestIsResentAfterTheReplyTime) {
  const LostAnswer& lost = GetParam();
  Device.LoseAnswer(lost.Command, lost.Occurrence);
  Load(Pattern(0xE0000, 0xE0010));
  TextRecorder status(Host.ModelPtr->SwDl.StateText);
  RunToEnd();

  // One request went out twice in a row; nothing else did.
  const std::vector<TLineRecord> writes = HostWrites();
  std::vector<size_t> repeats;
  for (size_t i = 1; i < writes.size(); ++i)
    if (writes[i].Bytes == writes[i - 1].Bytes) repeats.push_back(i);
  ASSERT_EQ(repeats.size(), 1u);
  const TLineRecord& first = writes[repeats[0] - 1];
  const TLineRecord& again = writes[repeats[0]];
  EXPECT_EQ(first.Bytes[3], lost.Command);
  EXPECT_GE(Millis(again.First - first.Last), 500ms);
  EXPECT_LT(Millis(again.First - first.Last), 520ms);
  EXPECT_EQ(again.Baud, lost.ResendBaud);

  EXPECT_EQ(status.Saw("Connecting 1"), lost.CountedAsConnectAttempt);
  EXPECT_FALSE(status.Saw("Connecting 2"));
  EXPECT_EQ(WrittenFlash(), ExpectedFlash());
  EXPECT_EQ(Host.Errors(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Requests, TrxLostAnswer,
    ::testing::Values(LostAnswer{"Connect", Request::Connect, 0, true, 1200},
                      LostAnswer{"Revision", Request::Revision, 0, false, 1200},
                      LostAnswer{"Unlock", Request::Signature, 0, false, 115200},
                      LostAnswer{"Poll", Request::Poll, 0, false, 115200},
                      LostAnswer{"Block", Request::Block, 0, false, 115200},
                      LostAnswer{"Closing", Request::Signature, 1, false, 1200}),
    [](const ::testing::TestParamInfo<LostAnswer>& p) { return p.param.Name; });

// A block answer that arrives before the reply time is up is taken, however
// late; one that arrives after it finds the block sent again.
struct LateAnswer {
  const char* Name;
  std::chrono::milliseconds Delay;
  int BlocksSent;
};

class TrxLateAnswer : public TrxScripted, public ::testing::WithParamInterface<LateAnswer> {};

TEST_P(TrxLateAnswer, AnswerBeforeTheReplyTimeWins) {
  Device.DelayAnswer(Request::Block, 0, GetParam().Delay);
  Load(Pattern(0xE0000, 0xE0010));
  RunToEnd();
  int blocksAt0xE0000 = 0;
  for (const auto& [command, data] : Device.HeardRequests())
    blocksAt0xE0000 += command == Request::Block && data.size() >= 4 && data[2] == 0x0E && data[1] == 0 && data[0] == 0;
  EXPECT_EQ(blocksAt0xE0000, GetParam().BlocksSent);
  EXPECT_EQ(WrittenFlash(), ExpectedFlash());
}

INSTANTIATE_TEST_SUITE_P(
    Delays, TrxLateAnswer,
    ::testing::Values(LateAnswer{"AtOnce", 0ms, 1}, LateAnswer{"After490ms", 490ms, 1},
                      LateAnswer{"After510ms", 510ms, 2}),
    [](const ::testing::TestParamInfo<LateAnswer>& p) { return p.param.Name; });

// The first block's answer comes 700 ms late, after the block was sent
// again and answered, while the channel waits for the answer of the second
// block (which the device gives late as well, 300 ms, and after which it is
// busy for a poll). That late answer belongs to the first block: taken for
// the second, the channel would send the third block to a busy device, which
// refuses it, and the third block would never be written.
TEST_F(TrxScripted, LateAnswerOfAnEarlierBlockIsNotTakenForTheNextOne) {
  Device.DelayAnswer(Request::Block, 0, 700ms);  // the first block
  Device.DelayAnswer(Request::Block, 2, 300ms);  // the second (after the first one's resend)
  Device.BusyAfterBlock(2, 1);                   // the second block written
  Load(Pattern(0xE0000, 0xE00C0));               // three blocks, then the checksum's
  RunToEnd();

  std::vector<uint32_t> blocks;
  for (const auto& [command, data] : Device.HeardRequests())
    if (command == Request::Block) blocks.push_back(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24);
  EXPECT_EQ(blocks, (std::vector<uint32_t>{0xE0000, 0xE0000, 0xE0040, 0xE0080, 0xF7FFC}));
  for (const TLineRecord& r : Device.Records()) {
    if (!r.FromHost && r.Bytes[3] == 0xE9) {
      EXPECT_EQ(r.Bytes[4], 0) << "a block was refused";
    }
  }
  EXPECT_EQ(WrittenFlash(), ExpectedFlash());
}

// A port error met on the host thread (the line is gone when a command
// touches the port) is raised by the next step on the worker thread, shown,
// and the channel is rebuilt 100 ms later, whose port then cannot open: it
// waits for the port without a second box.
struct DeferredError {
  const char* Name;
  int Operation;
  const char* ReadyText;
  bool Start;  // the command: start, else abort
  const char* Error;
};

class FramedDeferredError : public FramedRun, public ::testing::WithParamInterface<DeferredError> {};

TEST_P(FramedDeferredError, IsShownFromTheWorkerAndTheChannelRebuilt) {
  const DeferredError& c = GetParam();
  Host.StartOn(c.Operation, DevicePath, 115200);
  ASSERT_TRUE(Host.WaitForText(c.ReadyText));
  Device.Unplug();
  if (c.Start)
    Host.PressStart();
  else
    Host.PressAbort();
  // One box: the rebuilt channel's failure to open the port only goes into
  // the log, and the channel waits for the port, showing why.
  ASSERT_TRUE(RunUntil([&] { return Host.Log().find("Communication: Invalid Handle") != std::string::npos; }))
      << Host.Log();
  EXPECT_EQ(Host.ErrorHeads(), (std::vector<std::string>{c.Error}));
  EXPECT_TRUE(RunUntil([&] { return Host.StateText().rfind("Error! ", 0) == 0; })) << Host.StateText();
}

INSTANTIATE_TEST_SUITE_P(
    Channels, FramedDeferredError,
    ::testing::Values(
        // Abort without an image: the port goes back to 1200 baud.
        DeferredError{"Trx5170Abort", Trx5170Download, "No file opened for download", false,
                      "Communication: Could not get settings"},
        // The start of a reception empties the input.
        DeferredError{"UploadStart", 4, "Ready to start receiving", true,
                      "Communication: Could not read port during empty"}),
    [](const ::testing::TestParamInfo<DeferredError>& p) { return p.param.Name; });

}  // namespace
