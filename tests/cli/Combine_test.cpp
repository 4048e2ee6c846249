// qmss combine: the total file byte for byte against one written here from
// the same parts, and what it says and does for parts that are no good.
#include <gtest/gtest.h>

#include "tests/cli/Qmssprocess.h"
#include "tests/cli/Testimages.h"

namespace {

constexpr uint32_t Slots[4] = {0x08000000, 0x08080000, 0x08090000, 0x080A0000};

class Combine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
    const size_t sizes[4] = {0x230, 0x90, 0x41, 0x100};
    for (int n = 0; n < 4; ++n) Data[n] = SeededBytes(sizes[n], 100 + static_cast<uint32_t>(n));
  }

  std::vector<std::string> WriteParts(const std::string& damagedDisplay = "") {
    const char* names[4] = {"main.hex", "display.hex", "lccomm.hex", "ethernet.hex"};
    std::vector<std::string> files;
    for (int n = 0; n < 4; ++n)
      files.push_back(Dir.Write(names[n], n == 1 && !damagedDisplay.empty() ? damagedDisplay : PartFile(Data[n])));
    return files;
  }

  TQmssResult RunCombine(const std::vector<std::string>& parts, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"combine"};
    args.insert(args.end(), parts.begin(), parts.end());
    args.insert(args.end(), {"-o", "total.hex"});
    args.insert(args.end(), extra.begin(), extra.end());
    return Dir.Run(args);
  }

  TCliFolder Dir;
  std::vector<uint8_t> Data[4];
};

TEST_F(Combine, TotalIsThePartsMovedToTheirSlots) {
  const TQmssResult r = RunCombine(WriteParts());
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  // Every line of each part in order, CR LF ended; only the address records
  // of the three small parts changed.
  std::string want;
  for (int n = 0; n < 4; ++n) want += PartFile(Data[n], Slots[n]);
  const std::string got = Dir.Read("total.hex");
  EXPECT_TRUE(got == want) << FirstDifference(got, want);
  EXPECT_NE(r.Out.find("total.hex: "), std::string::npos) << r.Out;

  // Read back, the total holds each part in its processor's range.
  const TQmssResult info = Dir.Run({"info", "total.hex", "--bin", "total.bin"});
  ASSERT_EQ(info.ExitCode, 0) << info.Err;
  std::vector<HexChunk> chunks;
  for (int n = 0; n < 4; ++n) chunks.push_back({Slots[n], Data[n]});
  const std::vector<uint8_t> binary = ImageBinary(chunks, 0x08000000, 0xB0000);
  EXPECT_TRUE(Dir.Read("total.bin") == std::string(binary.begin(), binary.end()));
  EXPECT_NE(info.Out.find("used Loadcell communication: 65 (from 0x08090000)\n"), std::string::npos) << info.Out;
}

TEST_F(Combine, DamagedPartIsNamedAndNotCombinedWithoutForce) {
  const std::string damaged = DamageChecksum(PartFile(Data[1]), 4);
  const std::vector<std::string> parts = WriteParts(damaged);

  const TQmssResult refused = RunCombine(parts);
  EXPECT_EQ(refused.ExitCode, 3);
  EXPECT_NE(refused.Err.find("Display file " + parts[1] + ": 1 record with a wrong checksum or malformed fields (line 4)"),
            std::string::npos)
      << refused.Err;
  EXPECT_NE(refused.Err.find("--force"), std::string::npos) << refused.Err;
  EXPECT_FALSE(Dir.Exists("total.hex"));

  // With --force the part goes in as read, its damaged line included.
  const TQmssResult forced = RunCombine(parts, {"--force"});
  ASSERT_EQ(forced.ExitCode, 0) << forced.Err;
  const std::string want = PartFile(Data[0]) + DamageChecksum(PartFile(Data[1], Slots[1]), 4) +
                           PartFile(Data[2], Slots[2]) + PartFile(Data[3], Slots[3]);
  const std::string got = Dir.Read("total.hex");
  EXPECT_TRUE(got == want) << FirstDifference(got, want);
}

TEST_F(Combine, PartWithDataPastItsImageIsRefused) {
  // 0x20 bytes from 0x0800FFF0: the last 0x10 lie past the 64 KiB of a part.
  const std::vector<std::string> parts = WriteParts(IntelHex({{0x0800FFF0, SeededBytes(0x20, 7)}}));
  const TQmssResult r = RunCombine(parts);
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("Display file " + parts[1] + ": 16 data bytes lie outside the image"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("Combine refused"), std::string::npos) << r.Err;
  EXPECT_FALSE(Dir.Exists("total.hex"));
}

TEST_F(Combine, MissingPartIsAUsageError) {
  std::vector<std::string> parts = WriteParts();
  parts[2] = Dir.Path("nowhere.hex");
  const TQmssResult r = RunCombine(parts);
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("nowhere.hex"), std::string::npos) << r.Err;
  EXPECT_FALSE(Dir.Exists("total.hex"));
}

}  // namespace
