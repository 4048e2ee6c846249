// Each fault option does what it says, strikes as often as its rate and
// limit allow, and the same seed gives the same faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "Bootloaderhost.h"
#include "sim/Simk7310.h"
#include "sim/Simparams.h"

namespace {

constexpr uint32_t kBase = 0x08000000;
const std::vector<uint8_t> kGetIdAnswer{0x79, 0x01, 0x04, 0x14, 0x79};

class FaultTest : public ::testing::Test {
 protected:
  // An awake K7310 with one fault set.
  void StartK7310(SimFault fault, SimFaultSetting setting, uint64_t seed = 1) {
    SimOptions options;
    options.Awake = true;
    options.Seed = seed;
    options.Fault(fault) = setting;
    StartK7310(options);
  }
  void StartK7310(const SimOptions& options) {
    sim = std::make_unique<SimK7310>(options);
    std::string error;
    ASSERT_TRUE(sim->Start(error)) << error;
    host = std::make_unique<RawHost>(sim->SlavePath());
    ASSERT_TRUE(host->IsOpen());
  }
  std::vector<uint8_t> GetId() {
    host->Write({0x02, 0xFD});
    return host->Read(5);
  }

  std::unique_ptr<SimK7310> sim;
  std::unique_ptr<RawHost> host;
};

TEST_F(FaultTest, NackReplacesTheFirstAcknowledgesUpToItsLimit) {
  StartK7310(SimFault::Nack, {1.0, 3});
  // The connect answer and the acknowledges of two commands.
  EXPECT_EQ(Ask(*host, {0x7F}), kNack);
  EXPECT_EQ(Ask(*host, {0x02, 0xFD}), kNack);
  EXPECT_EQ(Ask(*host, {0x31, 0xCE}), kNack);
  EXPECT_EQ(GetId(), kGetIdAnswer);
  EXPECT_EQ(sim->FaultCount(SimFault::Nack), 3);
  ASSERT_EQ(sim->FaultEvents().size(), 3u);
  EXPECT_EQ(sim->FaultEvents()[1].Where, "main: Get ID ACK");
}

TEST_F(FaultTest, NackOnWriteDataLeavesTheFlashUntouched) {
  // A seed whose NACK stream spares the connect, the write command and the
  // write address, and strikes at the write data: found with the same
  // fault streams the device uses.
  std::array<SimFaultSetting, kSimFaultKinds> settings{};
  settings[static_cast<int>(SimFault::Nack)] = {0.5, 1};
  uint64_t seed = 0;
  for (uint64_t candidate = 1; candidate < 1000 && seed == 0; ++candidate) {
    SimFaults faults(candidate, settings);
    std::vector<bool> strikes;
    for (int i = 0; i < 4; ++i) strikes.push_back(faults.Roll(SimFault::Nack, "", 0));
    if (strikes == std::vector<bool>{false, false, false, true}) seed = candidate;
  }
  ASSERT_NE(seed, 0u);
  StartK7310(SimFault::Nack, {0.5, 1}, seed);
  ASSERT_EQ(Ask(*host, {0x7F}), kAck);
  EXPECT_EQ(Ask(*host, {0x31, 0xCE}), kAck);
  EXPECT_EQ(Ask(*host, AddressFrame(kBase)), kAck);
  EXPECT_EQ(Ask(*host, DataFrame({0x00})), kNack);
  EXPECT_EQ(sim->Flash(SimK7310::Main)[0], 0xFF);
  EXPECT_EQ(sim->Counts(SimK7310::Main).Writes, 0);
  // The limit is reached: the repeat goes through.
  EXPECT_TRUE(WriteMemory(*host, kBase, {0x00}));
  EXPECT_EQ(sim->Flash(SimK7310::Main)[0], 0x00);
  ASSERT_EQ(sim->FaultEvents().size(), 1u);
  EXPECT_EQ(sim->FaultEvents()[0].Where, "main: write data ACK");
}

TEST_F(FaultTest, DropLosesTheAnswerButTheDeviceActed) {
  StartK7310(SimFault::Drop, {1.0, 1});
  // The connect answer is lost; the session is open all the same, so a
  // second 0x7F meets a synchronised boot loader.
  EXPECT_EQ(Ask(*host, {0x7F}, 300), kNoReply);
  EXPECT_EQ(Ask(*host, {0x7F}), kNack);
  EXPECT_EQ(GetId(), kGetIdAnswer);
  EXPECT_EQ(sim->FaultCount(SimFault::Drop), 1);
}

TEST_F(FaultTest, CorruptDamagesTheAcknowledgeByte) {
  StartK7310(SimFault::Corrupt, {1.0, 1});
  int reply = Ask(*host, {0x7F});
  EXPECT_NE(reply, kNoReply);
  EXPECT_NE(reply, kAck);
  EXPECT_EQ(GetId(), kGetIdAnswer);
  EXPECT_EQ(sim->FaultCount(SimFault::Corrupt), 1);
}

TEST_F(FaultTest, BitflipChangesOneBitOfReadBackData) {
  StartK7310(SimFault::Bitflip, {1.0, 1});
  ASSERT_EQ(Ask(*host, {0x7F}), kAck);
  std::vector<uint8_t> first = ReadMemory(*host, kBase, 64);
  ASSERT_EQ(first.size(), 64u);
  int flipped = 0;
  for (uint8_t b : first) flipped += __builtin_popcount(static_cast<uint8_t>(~b));
  EXPECT_EQ(flipped, 1);
  // The flash itself is unharmed and the next read is clean.
  EXPECT_EQ(ReadMemory(*host, kBase, 64), std::vector<uint8_t>(64, 0xFF));
  EXPECT_EQ(sim->FaultCount(SimFault::Bitflip), 1);
}

TEST_F(FaultTest, NoiseComesBeforeTheAnswer) {
  StartK7310(SimFault::Noise, {1.0, 1});
  host->Write({0x7F});
  std::vector<uint8_t> bytes = host->ReadUntilQuiet(300);
  ASSERT_GE(bytes.size(), 2u);
  ASSERT_LE(bytes.size(), 5u);
  EXPECT_EQ(bytes.back(), kAck);
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    EXPECT_GE(bytes[i], 0x80);
    EXPECT_LE(bytes[i], 0xFE);
  }
  EXPECT_EQ(GetId(), kGetIdAnswer);
}

TEST_F(FaultTest, SplitAnswersArriveWhole) {
  StartK7310(SimFault::Split, {1.0, -1});
  ASSERT_EQ(Ask(*host, {0x7F}), kAck);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(GetId(), kGetIdAnswer);
  // Single-byte answers cannot be split; the five Get ID data answers were.
  EXPECT_EQ(sim->FaultCount(SimFault::Split), 5);
}

TEST_F(FaultTest, DisconnectClosesTheLineWhenACommandArrives) {
  StartK7310(SimFault::Disconnect, {1.0, 1});
  ASSERT_EQ(Ask(*host, {0x7F}), kAck);
  host->Write({0x02, 0xFD});
  EXPECT_TRUE(host->HungUp());
  EXPECT_TRUE(WaitFor([&] { return !sim->Serving(); }));
  EXPECT_TRUE(sim->Disconnected());
  EXPECT_EQ(sim->FaultCount(SimFault::Disconnect), 1);
}

TEST_F(FaultTest, DisconnectAfterBytesCountsBothDirections) {
  SimOptions options;
  options.Awake = true;
  options.DisconnectAfterBytes = 4;
  StartK7310(options);
  ASSERT_EQ(Ask(*host, {0x7F}), kAck);  // 2 bytes
  host->Write({0x02, 0xFD});            // 4: the line closes before answering
  EXPECT_TRUE(host->HungUp());
  EXPECT_TRUE(WaitFor([&] { return !sim->Serving(); }));
  EXPECT_EQ(sim->Sent(), std::vector<uint8_t>{kAck});
  ASSERT_EQ(sim->FaultEvents().size(), 1u);
  EXPECT_EQ(sim->FaultEvents()[0].Where, "after 4 bytes");
}

TEST_F(FaultTest, TheSameSeedStrikesAtTheSameOpportunities) {
  auto run = [&](uint64_t seed) {
    StartK7310(SimFault::Nack, {0.5, -1}, seed);
    std::vector<int> replies;
    replies.push_back(Ask(*host, {0x7F}));
    for (int i = 0; i < 30; ++i) {
      int reply = Ask(*host, {0x02, 0xFD});
      replies.push_back(reply);
      if (reply == kAck) host->Read(4);
    }
    EXPECT_EQ(sim->FaultCount(SimFault::Nack), std::count(replies.begin(), replies.end(), kNack));
    return replies;
  };
  std::vector<int> first = run(42);
  std::vector<int> second = run(42);
  EXPECT_EQ(first, second);
  long nacks = std::count(first.begin(), first.end(), kNack);
  EXPECT_GT(nacks, 0);
  EXPECT_LT(nacks, 31);
}

TEST_F(FaultTest, CorruptDamagesTheCheckByteOfAnswerFrames) {
  SimOptions options;
  options.Fault(SimFault::Corrupt) = {1.0, 1};
  SimParams params(options);
  std::string error;
  ASSERT_TRUE(params.Start(error)) << error;
  RawHost frames(params.SlavePath());
  auto xorOf = [](const std::vector<uint8_t>& bytes) {
    uint8_t x = 0;
    for (uint8_t b : bytes) x ^= b;
    return x;
  };
  frames.Write(HostFrame(0xD2, {0x0C, 0x00}));
  std::vector<uint8_t> damaged = ReadHostFrame(frames);
  ASSERT_EQ(damaged.size(), 14u);
  EXPECT_NE(xorOf(damaged), 0);
  frames.Write(HostFrame(0xD2, {0x0C, 0x00}));
  std::vector<uint8_t> clean = ReadHostFrame(frames);
  ASSERT_EQ(clean.size(), 14u);
  EXPECT_EQ(xorOf(clean), 0);
}

}  // namespace
