// The simulated K7310 over a real pty: wake-up, boot-loader commands, NOR
// flash, routing to the processors behind the main one, fall-back, the final
// reboot, preload and dump.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "Bootloaderhost.h"
#include "sim/Simk7310.h"

namespace {

constexpr uint32_t kBase = 0x08000000;

class K7310Test : public ::testing::Test {
 protected:
  void StartSim(SimOptions options) {
    sim = std::make_unique<SimK7310>(options);
    std::string error;
    ASSERT_TRUE(sim->Start(error)) << error;
    host = std::make_unique<RawHost>(sim->SlavePath());
    ASSERT_TRUE(host->IsOpen());
  }
  void StartAwake() {
    SimOptions options;
    options.Awake = true;
    StartSim(options);
  }
  void Connect() { ASSERT_EQ(Ask(*host, {0x7F}), kAck); }

  std::unique_ptr<SimK7310> sim;
  std::unique_ptr<RawHost> host;
};

TEST_F(K7310Test, MainProcessorAnswers16UntilItHearsBoot) {
  StartSim(SimOptions{});
  EXPECT_EQ(Ask(*host, {0x7F}), 0x16);
  EXPECT_EQ(Ask(*host, {0x7F}), 0x16);
  host->Write(BootWord());
  EXPECT_EQ(Ask(*host, {0x7F}), kAck);
  // Already synchronised: a further 0x7F is refused like on a real part.
  EXPECT_EQ(Ask(*host, {0x7F}), kNack);
  EXPECT_EQ(sim->SleepReplies(), 2);
  EXPECT_EQ(sim->Wakeups(), 1);
  EXPECT_EQ(sim->Counts(SimK7310::Main).Connects, 1);
  EXPECT_EQ(sim->ConnectOrder(), std::vector<std::string>{"main"});
}

TEST_F(K7310Test, GetCommandsDescribeAPartStandardClientsKnow) {
  StartAwake();
  Connect();
  host->Write({0x00, 0xFF});
  EXPECT_EQ(host->Read(11), (std::vector<uint8_t>{kAck, 7, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, kAck}));
  host->Write({0x01, 0xFE});
  EXPECT_EQ(host->Read(5), (std::vector<uint8_t>{kAck, 0x22, 0x00, 0x00, kAck}));
  host->Write({0x02, 0xFD});
  EXPECT_EQ(host->Read(5), (std::vector<uint8_t>{kAck, 0x01, 0x04, 0x14, kAck}));
}

TEST_F(K7310Test, FlashBehavesLikeNorFlash) {
  StartAwake();
  Connect();
  ASSERT_TRUE(WriteMemory(*host, kBase + 0x10, {0xF0, 0xF0, 0xFF, 0x00}));
  ASSERT_TRUE(WriteMemory(*host, kBase + 0x800, {0x12}));
  // A second write can only clear bits.
  ASSERT_TRUE(WriteMemory(*host, kBase + 0x10, {0x0F, 0x0F, 0x0F, 0x0F}));
  EXPECT_EQ(ReadMemory(*host, kBase + 0x0F, 6), (std::vector<uint8_t>{0xFF, 0x00, 0x00, 0x0F, 0x00, 0xFF}));
  // Erasing page 0 leaves page 1 alone.
  ASSERT_TRUE(ErasePages(*host, {0}));
  EXPECT_EQ(ReadMemory(*host, kBase + 0x10, 4), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ReadMemory(*host, kBase + 0x800, 1), std::vector<uint8_t>{0x12});
  ASSERT_TRUE(GlobalErase(*host));
  EXPECT_EQ(ReadMemory(*host, kBase + 0x800, 1), std::vector<uint8_t>{0xFF});

  SimK7310Counts counts = sim->Counts(SimK7310::Main);
  EXPECT_EQ(counts.Writes, 3);
  EXPECT_EQ(counts.BytesWritten, 9);
  EXPECT_EQ(counts.EraseCommands, 2);
  EXPECT_EQ(counts.PagesErased, 1 + 256);
  EXPECT_EQ(counts.Reads, 4);
  EXPECT_EQ(counts.Commands[0x31], 3);
  std::vector<uint8_t> flash = sim->Flash(SimK7310::Main);
  ASSERT_EQ(flash.size(), 512u * 1024);
  EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; }));
}

// Malformed commands are refused with a NACK, change nothing, and leave the
// boot loader waiting for the next command.
struct RejectCase {
  const char* Name;
  std::vector<std::pair<std::vector<uint8_t>, int>> Steps;  // bytes sent, reply expected
};

TEST_F(K7310Test, MalformedCommandsAreRefused) {
  const std::vector<RejectCase> cases = {
      {"bad complement", {{{0x31, 0x31}, kNack}}},
      {"command not offered", {{{0x44, 0xBB}, kNack}}},
      {"address checksum", {{{0x11, 0xEE}, kAck}, {{0x08, 0x00, 0x00, 0x00, 0x00}, kNack}}},
      {"write address past the flash", {{{0x31, 0xCE}, kAck}, {AddressFrame(kBase + 0x80000), kNack}}},
      {"write data checksum", {{{0x31, 0xCE}, kAck}, {AddressFrame(kBase), kAck}, {{0x00, 0xAA, 0x00}, kNack}}},
      {"write running past the flash",
       {{{0x31, 0xCE}, kAck}, {AddressFrame(kBase + 0x7FFFF), kAck}, {DataFrame({0x00, 0x00}), kNack}}},
      {"read length complement", {{{0x11, 0xEE}, kAck}, {AddressFrame(kBase), kAck}, {{0x03, 0x03}, kNack}}},
      {"read running past the flash", {{{0x11, 0xEE}, kAck}, {AddressFrame(kBase + 0x7FFFF), kAck}, {{0x01, 0xFE}, kNack}}},
      {"erase list checksum", {{{0x43, 0xBC}, kAck}, {{0x00, 0x03, 0x04}, kNack}}},
      {"global erase checksum", {{{0x43, 0xBC}, kAck}, {{0xFF, 0x01}, kNack}}},
      {"go address checksum", {{{0x21, 0xDE}, kAck}, {{0x08, 0x00, 0x00, 0x00, 0x00}, kNack}}},
  };
  StartAwake();
  Connect();
  ASSERT_TRUE(WriteMemory(*host, kBase, {0x5A}));
  for (const RejectCase& c : cases) {
    SCOPED_TRACE(c.Name);
    for (const auto& [bytes, reply] : c.Steps) EXPECT_EQ(Ask(*host, bytes), reply);
    host->Write({0x02, 0xFD});
    EXPECT_EQ(host->Read(5), (std::vector<uint8_t>{kAck, 0x01, 0x04, 0x14, kAck}));
  }
  std::vector<uint8_t> flash = sim->Flash(SimK7310::Main);
  EXPECT_EQ(flash[0], 0x5A);
  EXPECT_TRUE(std::all_of(flash.begin() + 1, flash.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(sim->Counts(SimK7310::Main).Rejected, static_cast<int>(cases.size()));
  EXPECT_EQ(sim->Counts(SimK7310::Main).Gos, 0);
}

TEST_F(K7310Test, RouteBytesReachTheProcessorsBehindTheMainOne) {
  StartSim(SimOptions{});
  EXPECT_EQ(Ask(*host, {0x11}), 0x11);
  EXPECT_EQ(Ask(*host, {0x7F}), kAck);
  host->Write({0x02, 0xFD});
  EXPECT_EQ(host->Read(5), (std::vector<uint8_t>{kAck, 0x01, 0x04, 0x40, kAck}));
  ASSERT_TRUE(WriteMemory(*host, kBase + 0x400, {0xA5}));
  // The display has 64 KiB.
  EXPECT_EQ(Ask(*host, {0x31, 0xCE}), kAck);
  EXPECT_EQ(Ask(*host, AddressFrame(kBase + 0x10000)), kNack);
  ASSERT_TRUE(GoTo(*host, kBase));
  // After the display's Go the line reaches the main processor again.
  EXPECT_EQ(sim->Route(), SimK7310::Main);
  EXPECT_EQ(Ask(*host, {0x7F}), 0x16);

  EXPECT_EQ(Ask(*host, {0x13}), 0x13);
  EXPECT_EQ(Ask(*host, {0x7F}), kAck);
  ASSERT_TRUE(GoTo(*host, kBase));

  EXPECT_EQ(sim->Flash(SimK7310::Display)[0x400], 0xA5);
  EXPECT_EQ(sim->Flash(SimK7310::Display).size(), 64u * 1024);
  EXPECT_EQ(sim->ConnectOrder(), (std::vector<std::string>{"display", "ethernet"}));
  EXPECT_EQ(sim->Counts(SimK7310::Display).Gos, 1);
  EXPECT_EQ(sim->Counts(SimK7310::Ethernet).Gos, 1);
  EXPECT_EQ(sim->Counts(SimK7310::Main).Connects, 0);
}

TEST_F(K7310Test, InsideASession0x11IsReadMemoryNotARoute) {
  StartAwake();
  Connect();
  ASSERT_TRUE(WriteMemory(*host, kBase, {0x33}));
  EXPECT_EQ(ReadMemory(*host, kBase, 1), std::vector<uint8_t>{0x33});
  EXPECT_EQ(sim->Route(), SimK7310::Main);
}

TEST_F(K7310Test, SilenceHandsARoutedLineBackToTheMainProcessor) {
  SimOptions options;
  options.RouteFallbackMs = 200;
  StartSim(options);
  EXPECT_EQ(Ask(*host, {0x12}), 0x12);
  EXPECT_TRUE(WaitFor([&] { return sim->Route() == SimK7310::Main; }));
  EXPECT_EQ(sim->RouteFallbacks(), 1);
  EXPECT_EQ(Ask(*host, {0x7F}), 0x16);
}

TEST_F(K7310Test, WithoutFallbackTheRouteHoldsThroughSilence) {
  SimOptions options;
  options.RouteFallbackMs = 0;
  StartSim(options);
  EXPECT_EQ(Ask(*host, {0x12}), 0x12);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(Ask(*host, {0x7F}), kAck);
  EXPECT_EQ(sim->ConnectOrder(), std::vector<std::string>{"lccomm"});
  EXPECT_EQ(sim->RouteFallbacks(), 0);
}

TEST_F(K7310Test, FinalRebootAfterTheEthernetProcessor) {
  StartSim(SimOptions{});
  EXPECT_EQ(Ask(*host, {0x13}), 0x13);
  EXPECT_EQ(Ask(*host, {0x7F}), kAck);
  ASSERT_TRUE(GoTo(*host, kBase));
  EXPECT_EQ(Ask(*host, {0x1B}), 0x1A);
  host->Write(BootWord());
  EXPECT_EQ(Ask(*host, {0x7F}), kAck);
  ASSERT_TRUE(GoTo(*host, kBase));
  EXPECT_EQ(sim->Reboots(), 1);
  EXPECT_EQ(sim->Counts(SimK7310::Main).Gos, 1);
  EXPECT_TRUE(sim->MainAsleep());
  EXPECT_EQ(sim->ConnectOrder(), (std::vector<std::string>{"ethernet", "main"}));
}

TEST_F(K7310Test, PreloadedImageIsDumpedPerProcessor) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(::testing::TempDir()) / "qmss-sim-k7310-dump";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::vector<uint8_t> image(0x80000 + 0x10, 0xFF);
  for (size_t i = 0; i < image.size(); i += 0x1001) image[i] = static_cast<uint8_t>(i >> 4);
  image[0x80000 + 0x0F] = 0x42;
  {
    std::ofstream out(dir / "in.bin", std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  SimOptions options;
  options.Awake = true;
  options.ImageFile = (dir / "in.bin").string();
  StartSim(options);
  Connect();
  EXPECT_EQ(ReadMemory(*host, kBase + 0x1001, 1), std::vector<uint8_t>{image[0x1001]});
  sim->Stop();
  std::string error;
  ASSERT_TRUE(sim->Dump((dir / "out").string(), error)) << error;

  auto slurp = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  std::vector<uint8_t> main = slurp(dir / "out" / "main.bin");
  EXPECT_EQ(main, std::vector<uint8_t>(image.begin(), image.begin() + 0x80000));
  std::vector<uint8_t> display = slurp(dir / "out" / "display.bin");
  ASSERT_EQ(display.size(), 0x10000u);
  EXPECT_EQ(display[0x0F], 0x42);
  EXPECT_EQ(display[0x10], 0xFF);
  EXPECT_EQ(slurp(dir / "out" / "lccomm.bin").size(), 0x10000u);
  EXPECT_EQ(slurp(dir / "out" / "ethernet.bin").size(), 0x10000u);
  EXPECT_EQ(slurp(dir / "out" / "sent.bin"), sim->Sent());
  std::vector<uint8_t> summary = slurp(dir / "out" / "summary.json");
  std::string text(summary.begin(), summary.end());
  EXPECT_NE(text.find("\"kind\": \"k7310\""), std::string::npos);
  EXPECT_NE(text.find("\"connect_order\": [\n    \"main\"\n  ]"), std::string::npos) << text;
  EXPECT_NE(text.find("\"baud_rates\": [\n    115200\n  ]"), std::string::npos) << text;
}

TEST_F(K7310Test, AnImageLargerThanTheFourFlashesIsRefused) {
  namespace fs = std::filesystem;
  fs::path file = fs::path(::testing::TempDir()) / "qmss-sim-k7310-big.bin";
  {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> bytes(0xB0001, 0);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  SimOptions options;
  options.ImageFile = file.string();
  SimK7310 big(options);
  std::string error;
  EXPECT_FALSE(big.Start(error));
  EXPECT_NE(error.find("larger"), std::string::npos) << error;
}

}  // namespace
