// The frame writer, reader and input emptying shared by the framed channels,
// on a pseudo-terminal whose master side plays the device.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "comm/Commerror.h"
#include "comm/Commframe.h"
#include "comm/Termiosport.h"
#include "core/Replytimer.h"
#include "tests/support/Eventloop.h"
#include "tests/framed/Frames.h"
#include "tests/support/Pty.h"

namespace {

struct ReceivedFrame {
  uint8_t Address = 0;
  uint8_t Command = 0;
  std::vector<uint8_t> Data;
};

class FrameLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Pty.IsOpen()) << "no pseudo-terminal available";
    ASSERT_TRUE(Port.Open(Pty.SlavePath()));
    PortDcb dcb;
    ASSERT_TRUE(Port.GetSettings(dcb));
    ASSERT_TRUE(TTermiosPort::BuildDcb("baud=115200 parity=N data=8 stop=1", dcb));
    ASSERT_TRUE(Port.SetSettings(dcb));
    ASSERT_TRUE(Port.SetTimeouts(PortTimeouts{PortTimeouts::MaxDword, 0, 0, 0, 0}));
  }

  // Calls ReadFrame until it completes a frame or the deadline passes.
  bool ReadOne(ReceivedFrame& r, int timeoutMs = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int length = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Link.ReadFrame(r.Address, r.Command, Data, length)) {
        r.Data.assign(Data, Data + (length > 0 ? length : 0));
        Lengths.push_back(length);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  // Lets the bytes written to the master cross over to the port.
  static void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

  TestPty Pty;
  TTermiosPort Port;
  TReplyTimer Timer{TestHostLoop(), [](uint64_t) {}};
  TFrameLink Link{Port, Timer};
  // One answer buffer, as a channel has: a frame's data lands in it as it arrives.
  uint8_t Data[Frame::MaxData] = {};
  std::vector<int> Lengths;
};

TEST_F(FrameLinkTest, SendFrameWritesStartLengthAddressCommandDataAndXor) {
  const uint8_t data[2] = {0x0C, 0x00};
  Link.SendFrame(0xD0, 0xD2, data, 2);
  EXPECT_EQ(Pty.Read(7, 2000), MakeFrame(0xD2, {0x0C, 0x00}));
  Link.SendFrame(0xD0, 0x00, nullptr, 0);
  const std::vector<uint8_t> bare = Pty.Read(5, 2000);
  EXPECT_EQ(bare, (std::vector<uint8_t>{0x02, 0x03, 0xD0, 0x00, 0x02 ^ 0x03 ^ 0xD0}));
}

// What arrives before a good frame, and whether the reader must still find it.
struct StreamCase {
  const char* Name;
  std::vector<uint8_t> Before;
};

class FrameLinkStreamTest : public FrameLinkTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(FrameLinkStreamTest, FindsTheGoodFrameAfterIt) {
  std::vector<uint8_t> bytes = GetParam().Before;
  const std::vector<uint8_t> good = MakeFrame(0xD3, {0x0C, 0x00, '1', '2', '3', 0, 0, 0, 0});
  bytes.insert(bytes.end(), good.begin(), good.end());
  ASSERT_TRUE(Pty.Write(bytes));
  ReceivedFrame r;
  ASSERT_TRUE(ReadOne(r));
  EXPECT_EQ(r.Address, 0xD0);
  EXPECT_EQ(r.Command, 0xD3);
  EXPECT_EQ(r.Data, std::vector<uint8_t>(good.begin() + 4, good.end() - 1));
  EXPECT_EQ(Lengths.back(), 9);
}

std::vector<uint8_t> CorruptedFrame() {
  std::vector<uint8_t> f = MakeFrame(0xE9, {1, 8, 0, 0, 0, 0});
  f.back() ^= 0x40;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FrameLinkStreamTest,
    ::testing::Values(StreamCase{"Nothing", {}},
                      StreamCase{"Noise", {0x00, 0xFF, 0x55, 0xD0, 0x13}},
                      // Dropped whole, without notice; the reader hunts again.
                      StreamCase{"WrongCheckByte", CorruptedFrame()},
                      // A start byte inside noise begins a false frame that
                      // fails its check; the good frame follows in full.
                      StreamCase{"FalseStart", {0x02, 0x03, 0x11, 0x22, 0x33}}),
    [](const ::testing::TestParamInfo<StreamCase>& p) { return p.param.Name; });

TEST_F(FrameLinkTest, WrongCheckByteYieldsNoFrame) {
  ASSERT_TRUE(Pty.Write(CorruptedFrame()));
  ReceivedFrame r;
  EXPECT_FALSE(ReadOne(r, 300));
}

TEST_F(FrameLinkTest, LengthThreeOrLessGivesAFrameWithoutData) {
  // L of 3 or less: the byte after the command is the check byte; the length
  // reported (L - 3) matches no answer the channels wait for.
  for (uint8_t l : {uint8_t{3}, uint8_t{2}, uint8_t{0}}) {
    std::vector<uint8_t> f = {0x02, l, 0xD0, 0xEB};
    f.push_back(static_cast<uint8_t>(0x02 ^ l ^ 0xD0 ^ 0xEB));
    ASSERT_TRUE(Pty.Write(f));
    ReceivedFrame r;
    ASSERT_TRUE(ReadOne(r)) << "L = " << int(l);
    EXPECT_EQ(r.Command, 0xEB);
    EXPECT_EQ(Lengths.back(), int(l) - 3);
    EXPECT_TRUE(r.Data.empty());
  }
}

TEST_F(FrameLinkTest, FrameSplitOverSeveralReadsIsAssembledAcrossCalls) {
  const std::vector<uint8_t> f = MakeFrame(0xEB, {0x08, 1, 2, 3, 4});
  uint8_t address = 0, command = 0;
  int length = 0;
  for (size_t i = 0; i + 1 < f.size(); ++i) {
    ASSERT_TRUE(Pty.Write(std::vector<uint8_t>{f[i]}));
    Settle();
    EXPECT_FALSE(Link.ReadFrame(address, command, Data, length)) << "after byte " << i;
  }
  ASSERT_TRUE(Pty.Write(std::vector<uint8_t>{f.back()}));
  ReceivedFrame r;
  ASSERT_TRUE(ReadOne(r));
  EXPECT_EQ(r.Command, 0xEB);
  EXPECT_EQ(r.Data, (std::vector<uint8_t>{0x08, 1, 2, 3, 4}));
}

TEST_F(FrameLinkTest, BytesAfterAFrameStayForTheNextCall) {
  std::vector<uint8_t> two = MakeFrame(0x01, {7, 7, 7});
  const std::vector<uint8_t> second = MakeFrame(0xE1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  two.insert(two.end(), second.begin(), second.end());
  ASSERT_TRUE(Pty.Write(two));
  Settle();
  ReceivedFrame first, next;
  ASSERT_TRUE(ReadOne(first));
  EXPECT_EQ(first.Command, 0x01);
  ASSERT_TRUE(ReadOne(next));
  EXPECT_EQ(next.Command, 0xE1);
  EXPECT_EQ(next.Data.size(), 10u);
}

TEST_F(FrameLinkTest, EmptyInputDropsWaitingBytesAndAHalfReadFrame) {
  const std::vector<uint8_t> f = MakeFrame(0xD1, {0, 0, 0});
  // Half a frame taken into the reader, the rest and a whole frame waiting.
  ASSERT_TRUE(Pty.Write(std::vector<uint8_t>(f.begin(), f.begin() + 4)));
  Settle();
  uint8_t address = 0, command = 0;
  int length = 0;
  EXPECT_FALSE(Link.ReadFrame(address, command, Data, length));
  std::vector<uint8_t> rest(f.begin() + 4, f.end());
  rest.insert(rest.end(), f.begin(), f.end());
  ASSERT_TRUE(Pty.Write(rest));
  Settle();
  Link.EmptyInput();
  ReceivedFrame r;
  EXPECT_FALSE(ReadOne(r, 200));
  // A frame after the emptying is read from its start.
  ASSERT_TRUE(Pty.Write(f));
  ASSERT_TRUE(ReadOne(r));
  EXPECT_EQ(r.Command, 0xD1);
}

TEST_F(FrameLinkTest, FailedPortCallsRaiseTheirTexts) {
  Port.Close();
  uint8_t address = 0, command = 0;
  int length = 0;
  const auto text = [](auto fn) {
    try {
      fn();
    } catch (const ECommError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(text([&] { Link.SendFrame(0xD0, 0xEA, nullptr, 0); }), CommText::CouldNotTransmit);
  EXPECT_EQ(text([&] { Link.ReadFrame(address, command, Data, length); }), CommText::CouldNotRead);
  EXPECT_EQ(text([&] { Link.EmptyInput(); }), CommText::CouldNotReadEmpty);
}

}  // namespace
