// The simulated TRX5170L boot loader: a whole download by a hand-written
// host, the unlock check, the rate switch and its record, busy polls.
#include <gtest/gtest.h>

#include "Rawhost.h"
#include "sim/Simtrx5170.h"

namespace {

std::vector<uint8_t> Le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

std::vector<uint8_t> UnlockSignature() {
  const std::pair<uint32_t, uint8_t> cycles[8] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80}, {0x5555, 0xAA},
                                                  {0x2AAA, 0x55}, {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xA0}};
  std::vector<uint8_t> data;
  for (const auto& [address, byte] : cycles) {
    std::vector<uint8_t> a = Le32(address);
    data.insert(data.end(), a.begin(), a.end());
    data.push_back(byte);
  }
  data.push_back(0);
  return data;
}

std::vector<uint8_t> ClosingSignature() {
  std::vector<uint8_t> data(40, 0);
  data.push_back(1);
  return data;
}

class Trx5170Test : public ::testing::Test {
 protected:
  void StartSim(SimOptions options) {
    sim = std::make_unique<SimTrx5170>(options);
    std::string error;
    ASSERT_TRUE(sim->Start(error)) << error;
    host = std::make_unique<RawHost>(sim->SlavePath(), 1200);
    ASSERT_TRUE(host->IsOpen());
  }
  // Sends a request and returns the answer's data; empty when no answer
  // with the expected command came.
  std::vector<uint8_t> Request(uint8_t command, const std::vector<uint8_t>& data, int deadlineMs = 5000) {
    host->Write(HostFrame(command, data));
    std::vector<uint8_t> frame = ReadHostFrame(*host, deadlineMs);
    if (frame.size() < 5 || frame[3] != command + 1) return {};
    return std::vector<uint8_t>(frame.begin() + 4, frame.end() - 1);
  }
  uint8_t PollUntil(uint8_t bit) {
    for (int i = 0; i < 100; ++i) {
      std::vector<uint8_t> status = Request(0xEA, {});
      if (status.size() == 5 && (status[0] & bit)) return status[0];
    }
    return 0;
  }
  // Connect, revision, rate switch to the given rate, unlock.
  void OpenSession(int rate) {
    ASSERT_EQ(Request(0x00, {}).size(), 3u);
    ASSERT_EQ(Request(0xE0, {}).size(), 10u);
    ASSERT_EQ(Request(0xE2, Le32(static_cast<uint32_t>(rate))), std::vector<uint8_t>{0});
    host->SetBaud(rate);
    ASSERT_EQ(Request(0xE4, UnlockSignature()), std::vector<uint8_t>{0});
  }
  std::vector<uint8_t> Block(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> data = Le32(address);
    data.insert(data.end(), bytes.begin(), bytes.end());
    return Request(0xE8, data);
  }

  std::unique_ptr<SimTrx5170> sim;
  std::unique_ptr<RawHost> host;
};

TEST_F(Trx5170Test, WholeDownloadAtTheConfiguredRate) {
  SimOptions options;
  options.BusyPolls = 3;
  options.Seed = 7;
  StartSim(options);
  OpenSession(57600);
  std::vector<uint8_t> first(64), second{0x01, 0xFF, 0x02};
  for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i);
  int busySeen = 0;
  for (const auto& [address, bytes] : {std::pair{0xE0000u, first}, std::pair{0xFFFFDu, second}}) {
    uint8_t status = PollUntil(0x08);
    ASSERT_TRUE(status & 0x08);
    std::vector<uint8_t> answer = Block(address, bytes);
    ASSERT_EQ(answer.size(), 6u);
    EXPECT_EQ(answer[0], 0);
    EXPECT_EQ(std::vector<uint8_t>(answer.begin() + 2, answer.end()), Le32(address));
    if (!(answer[1] & 0x08)) ++busySeen;
  }
  ASSERT_TRUE(PollUntil(0x04) & 0x04);
  ASSERT_EQ(Request(0xE4, ClosingSignature()), std::vector<uint8_t>{0});
  host->SetBaud(1200);

  std::vector<uint8_t> flash = sim->Flash();
  ASSERT_EQ(flash.size(), 0x20000u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), flash.begin()));
  EXPECT_EQ(flash[64], 0xFF);
  EXPECT_EQ(std::vector<uint8_t>(flash.end() - 3, flash.end()), second);
  EXPECT_EQ(sim->Unlocks(), 1);
  EXPECT_EQ(sim->Closings(), 1);
  EXPECT_EQ(sim->BlocksWritten(), 2);
  EXPECT_FALSE(sim->Unlocked());
  EXPECT_EQ(sim->ExpectedRate(), 1200);
  EXPECT_GE(sim->BusyReports(), busySeen);

  // The host's rates: boot rate, the configured one, and back.
  EXPECT_TRUE(WaitFor([&] { return sim->BaudRates() == std::vector<int>{1200, 57600, 1200}; }))
      << ::testing::PrintToString(sim->BaudRates());
  std::vector<SimFrameRecord> frames = sim->Frames();
  ASSERT_GE(frames.size(), 5u);
  EXPECT_EQ(frames[0].Command, 0x00);
  EXPECT_EQ(frames[0].BaudRate, 1200);
  EXPECT_EQ(frames[2].Command, 0xE2);
  EXPECT_EQ(frames[2].BaudRate, 1200);
  EXPECT_EQ(frames[3].Command, 0xE4);
  EXPECT_EQ(frames[3].BaudRate, 57600);
  EXPECT_EQ(frames.back().BaudRate, 57600);
  EXPECT_TRUE(std::all_of(frames.begin(), frames.end(), [](const SimFrameRecord& r) { return r.Accepted; }));
}

TEST_F(Trx5170Test, NothingIsProgrammedWithoutTheUnlockSignature) {
  struct SignatureCase {
    const char* Name;
    std::vector<uint8_t> Data;
    uint8_t Result;
  };
  std::vector<uint8_t> wrongByte = UnlockSignature();
  wrongByte[14] = 0x90;  // entry 3 must be 0x80
  std::vector<uint8_t> wrongAddress = UnlockSignature();
  wrongAddress[5] = 0xAB;  // entry 2 at 0x2AAB
  std::vector<uint8_t> wrongFinal = UnlockSignature();
  wrongFinal[40] = 1;
  const std::vector<SignatureCase> cases = {
      {"closing while locked", ClosingSignature(), 2},
      {"wrong command byte", wrongByte, 1},
      {"wrong address", wrongAddress, 1},
      {"unlock table with the closing flag", wrongFinal, 1},
  };
  SimOptions options;
  options.BusyPolls = 0;
  StartSim(options);
  ASSERT_EQ(Request(0x00, {}).size(), 3u);
  for (const SignatureCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Request(0xE4, c.Data), std::vector<uint8_t>{c.Result});
    EXPECT_EQ(Request(0xEA, {}).at(0) & 0x0C, 0);
    std::vector<uint8_t> answer = Block(0xE0000, {0x00});
    ASSERT_EQ(answer.size(), 6u);
    EXPECT_EQ(answer[0], 1);  // locked
  }
  EXPECT_EQ(sim->BadSignatures(), 3);
  EXPECT_EQ(sim->BlocksWritten(), 0);
  EXPECT_EQ(sim->BlocksRejected(), 4);
  std::vector<uint8_t> flash = sim->Flash();
  EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(Trx5170Test, BlocksOutsideTheFlashOrOfBadLengthAreRefused) {
  SimOptions options;
  options.BusyPolls = 0;
  StartSim(options);
  OpenSession(1200);
  EXPECT_EQ(Block(0xDFFFF, {0x00}).at(0), 2);
  EXPECT_EQ(Block(0xFFFFF, {0x00, 0x00}).at(0), 2);
  EXPECT_EQ(Block(0xE0000, std::vector<uint8_t>(65, 0)).at(0), 3);
  EXPECT_EQ(Block(0xE0000, {}).at(0), 3);
  EXPECT_EQ(Block(0xFFFFF, {0x5A}).at(0), 0);
  EXPECT_EQ(sim->Flash().back(), 0x5A);
}

TEST_F(Trx5170Test, AfterTheRateSwitchFramesAtTheOldRateAreGarbage) {
  StartSim(SimOptions{});
  ASSERT_EQ(Request(0xE2, Le32(19200)), std::vector<uint8_t>{0});
  // Still at 1200: the device does not understand it.
  EXPECT_TRUE(Request(0x00, {}, 300).empty());
  host->SetBaud(19200);
  EXPECT_EQ(Request(0x00, {}).size(), 3u);
  EXPECT_EQ(sim->RateMismatches(), 1);
  // A rate the device cannot take is refused and it stays where it is.
  EXPECT_EQ(Request(0xE2, Le32(12345)), std::vector<uint8_t>{1});
  EXPECT_EQ(sim->ExpectedRate(), 19200);
}

TEST_F(Trx5170Test, SilenceLocksTheDeviceAndReturnsItTo1200) {
  SimOptions options;
  options.SessionTimeoutMs = 200;
  StartSim(options);
  OpenSession(38400);
  EXPECT_TRUE(WaitFor([&] { return !sim->Unlocked() && sim->ExpectedRate() == 1200; }));
  host->SetBaud(1200);
  EXPECT_EQ(Request(0x00, {}).size(), 3u);
}

TEST_F(Trx5170Test, ABlockWhileBusyIsRefusedAndPollsCountDown) {
  SimOptions options;
  options.BusyPolls = 5;
  // A seed whose first busy count is above 0 is found by trying: the
  // device reports busy in its block answer then.
  for (uint64_t seed = 1; seed < 50; ++seed) {
    options.Seed = seed;
    StartSim(options);
    OpenSession(1200);
    std::vector<uint8_t> answer = Block(0xE0000, {0x11});
    ASSERT_EQ(answer.size(), 6u);
    if (answer[1] & 0x08) continue;
    EXPECT_EQ(Block(0xE0040, {0x22}).at(0), 4);
    int busyPolls = 0;
    while (!(Request(0xEA, {}).at(0) & 0x08)) ASSERT_LT(++busyPolls, 10);
    EXPECT_GE(busyPolls, 0);
    EXPECT_LE(busyPolls, 5);
    EXPECT_EQ(Block(0xE0040, {0x22}).at(0), 0);
    EXPECT_EQ(sim->Flash()[0x40], 0x22);
    return;
  }
  FAIL() << "no seed made the device busy";
}

TEST_F(Trx5170Test, PacedAt1200TheDialogueStillWorks) {
  SimOptions options;
  options.Pace = true;
  StartSim(options);
  EXPECT_EQ(Request(0x00, {}).size(), 3u);
  EXPECT_EQ(Request(0xE0, {}).size(), 10u);
}

}  // namespace
