// A TRX5170L block answer that comes after its reply time-out, when the
// block has gone again, and the answer to that resend after the next block
// has gone: neither is taken for the next block's answer. Otherwise a block
// the device refused (busy after programming the resent one) would count as
// programmed, and the flash would miss it.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>

#include "hex/Hexfile.h"
#include "sim/Simtrx5170.h"
#include "tests/framed/Simhelpers.h"
#include "tests/support/Cable.h"
#include "tests/support/Channelhost.h"
#include "tests/support/Eventloop.h"
#include "tests/support/Hexwriter.h"

namespace {

constexpr uint8_t BlockAnswer = 0xE9;
constexpr uint8_t TakesBlock = 0x08;  // the device status bit

class TrxLateAnswerTest : public ::testing::TestWithParam<uint64_t> {};

TEST_P(TrxLateAnswerTest, ALateBlockAnswerIsNotTakenForTheNextBlock) {
  SimOptions options;
  options.Seed = GetParam();
  auto device = StartDevice<SimTrx5170>(SimKind::Trx5170l, options);
  ASSERT_TRUE(device);
  ChannelHost host;
  TCable cable(host.Folder() + "/ttyCABLE0", device->SlavePath());
  std::atomic<int> blockAnswers{0};
  std::atomic<int> delayed{0};
  // The first answer of a block that was programmed and lets the next one
  // come, after its 500 ms time-out; the answer to that block's resend after
  // the channel has sent the next block, which the device may refuse while
  // it is busy with the resent one.
  cable.DeviceDelayMs = [&](const std::vector<uint8_t>& bytes) {
    // 0x02, length, 0xD0, the command, then the result and the status.
    if (bytes.size() < 6 || bytes[3] != BlockAnswer) return 0;
    ++blockAnswers;
    if (delayed == 0 && bytes[4] == 0 && (bytes[5] & TakesBlock) != 0) {
      delayed = 1;
      return 700;
    }
    if (delayed == 1) {
      delayed = 2;
      return 400;
    }
    return 0;
  };
  ASSERT_TRUE(cable.Plug());
  host.StartOn(2, cable.Path(), 115200);
  ASSERT_TRUE(host.WaitForText("No file opened for download"));
  std::map<uint32_t, uint8_t> image;
  std::mt19937_64 random(GetParam());
  for (uint32_t a = 0xE0000; a < 0xE0000 + 12 * 64; ++a) image[a] = static_cast<uint8_t>(random() % 0xFF);
  const std::string file = host.Folder() + "/image.hex";
  WriteHexFile(file, image);
  host.LoadFile(file);
  ASSERT_TRUE(host.WaitForText("Ready for download"));
  host.PressStart();
  ASSERT_TRUE(host.WaitForText("Download done. Ready for new download", 30000)) << host.StateText();
  ASSERT_EQ(delayed, 2);

  const auto loaded = host.ModelPtr->SwDl.CurrentImage();
  std::vector<uint8_t> expected;
  for (int32_t a = 0xE0000; a < 0x100000; ++a) {
    const int32_t b = loaded->ByteAt(a);
    expected.push_back(b < 0 ? 0xFF : static_cast<uint8_t>(b));
  }
  const std::vector<uint8_t> flash = device->Flash();
  ASSERT_EQ(flash.size(), expected.size());
  for (size_t i = 0; i < flash.size(); ++i)
    ASSERT_EQ(flash[i], expected[i]) << "first difference at 0x" << std::hex << (0xE0000 + i);
  host.Shutdown();
}

INSTANTIATE_TEST_SUITE_P(Seeds, TrxLateAnswerTest, ::testing::Values(uint64_t{1}, uint64_t{2}, uint64_t{3},
                                                                     uint64_t{4}, uint64_t{5}, uint64_t{6}));

}  // namespace
