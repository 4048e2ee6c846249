// qmss info for each image shape: the figures it prints and the binary --bin
// writes, against what the file holds worked out here.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/cli/Qmssprocess.h"
#include "tests/cli/Testimages.h"

namespace {

struct InfoCase {
  const char* Name;
  const char* Image;  // --image, nullptr for the default
  uint32_t Base;
  uint32_t Size;
  std::vector<HexChunk> Chunks;
  int DamagedLine;              // 0: none
  std::vector<std::string> Lines;  // lines stdout must hold besides the common ones
  int Exit = 0;                    // 3 when the load report shows problems
};

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

size_t CountLines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

std::vector<InfoCase> Cases() {
  std::vector<InfoCase> cases;
  cases.push_back({"K7310TotalWithAllFourProcessors",
                   nullptr,
                   0x08000000,
                   0xB0000,
                   {{0x08000000, SeededBytes(0x310, 1)},
                    {0x08080000, SeededBytes(0x120, 2)},
                    {0x08090010, SeededBytes(0x40, 3)},
                    {0x080AFFF0, SeededBytes(0x10, 4)}},
                   0,
                   {"image: k7310, 0xB0000 cells at 0x08000000", "used Main processor: 784 (from 0x08000000)",
                    "used Display: 288 (from 0x08080000)", "used Loadcell communication: 80 (from 0x08090000)",
                    "used Ethernet: 65536 (from 0x080A0000)", "load report: clean"}});
  cases.push_back({"K7310WithoutEthernetData",
                   "k7310",
                   0x08000000,
                   0xB0000,
                   {{0x08000100, SeededBytes(0x20, 5)}},
                   0,
                   {"used Main processor: 288 (from 0x08000000)", "used Display: -1 (from 0x08080000)",
                    "used Ethernet: -1 (from 0x080A0000)"}});
  cases.push_back({"Trx5170lStampsItsChecksum",
                   "trx5170l",
                   0x000E0000,
                   0x20000,
                   {{0x000E0000, SeededBytes(0x100, 6)}, {0x000F0000, SeededBytes(0x30, 7)}},
                   0,
                   {"image: trx5170l, 0x20000 cells at 0x000E0000", "load report: clean"}});
  cases.push_back({"MainLeavesOutWhatLiesPastIt",
                   "main",
                   0x08000000,
                   0x80000,
                   {{0x0807FFF0, SeededBytes(0x20, 8)}},
                   0,
                   {"image: main, 0x80000 cells at 0x08000000",
                    "  16 data bytes lie outside the image (0x08080000 to 0x0808000F) and were left out"},
                   3});
  cases.push_back({"PartWithADamagedRecord",
                   "part",
                   0x08000000,
                   0x10000,
                   {{0x08000000, SeededBytes(0x50, 9)}},
                   3,
                   {"image: part, 0x10000 cells at 0x08000000",
                    "  1 record with a wrong checksum or malformed fields (line 3)"},
                   3});
  return cases;
}

class Info : public ::testing::TestWithParam<InfoCase> {};

TEST_P(Info, FiguresAndBinary) {
  if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  const InfoCase& c = GetParam();
  TCliFolder dir;
  std::string text = IntelHex(c.Chunks);
  if (c.DamagedLine) text = DamageChecksum(text, c.DamagedLine);
  const std::string file = dir.Write("image.hex", text);
  std::vector<std::string> args = {"info", file, "--bin", "out.bin"};
  if (c.Image) args.insert(args.end(), {"--image", c.Image});

  const TQmssResult r = dir.Run(args);
  // The figures and the binary come all the same.
  ASSERT_EQ(r.ExitCode, c.Exit) << r.Err;
  if (c.Exit == 3) {
    EXPECT_NE(r.Err.find("the load report shows problems"), std::string::npos) << r.Err;
  }

  std::vector<uint8_t> want = ImageBinary(c.Chunks, c.Base, c.Size);
  const bool trx = c.Base == 0x000E0000;
  if (trx) want = TrxStamped(want);
  size_t filled = 0;
  for (const HexChunk& chunk : c.Chunks)
    for (size_t i = 0; i < chunk.Data.size(); ++i)
      filled += chunk.Address + i >= c.Base && chunk.Address + i < c.Base + c.Size;
  if (trx) filled += 4;

  std::vector<std::string> lines = c.Lines;
  lines.push_back("file: " + file);
  lines.push_back("records: " + std::to_string(CountLines(text)));
  lines.push_back("used length: " + std::to_string(want.size()));
  lines.push_back("filled bytes: " + std::to_string(filled));
  if (trx) lines.push_back("checksum: " + Hex8(TrxChecksum(ImageBinary(c.Chunks, c.Base, c.Size))) + " at 0xF7FFC");
  for (const std::string& line : lines) EXPECT_NE(r.Out.find(line + "\n"), std::string::npos) << line << "\nin:\n" << r.Out;

  const std::string got = dir.Read("out.bin");
  const std::string wanted(want.begin(), want.end());
  EXPECT_TRUE(got == wanted) << FirstDifference(got, wanted);
}

INSTANTIATE_TEST_SUITE_P(Shapes, Info, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<InfoCase>& p) { return std::string(p.param.Name); });

TEST(InfoFile, WithoutDataFailsWithExitThree) {
  if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  TCliFolder dir;
  // Only an end record, and data only outside the image: a clean load report
  // in the first case, yet nothing to download in either.
  for (const std::string& text : {std::string(":00000001FF\r\n"), IntelHex({{0x09000000, SeededBytes(0x10, 1)}})}) {
    const TQmssResult r = dir.Run({"info", dir.Write("empty.hex", text)});
    EXPECT_EQ(r.ExitCode, 3) << r.Err;
    EXPECT_NE(r.Err.find("holds no data for the k7310 image"), std::string::npos) << r.Err;
  }
}

TEST(InfoFile, ThatCannotBeReadIsAUsageErrorAndWritesNoBinary) {
  if (QmssProgram().empty()) GTEST_SKIP() << "qmss is not built in " << QMSS_BINARY_DIR;
  TCliFolder dir;
  const TQmssResult r = dir.Run({"info", dir.Path("missing.hex"), "--bin", "out.bin"});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("missing.hex"), std::string::npos) << r.Err;
  EXPECT_FALSE(dir.Exists("out.bin"));
}

}  // namespace
