// Combining four part images into the total image and its file.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "core/Modeltotalhex.h"
#include "core/Textfile.h"
#include "tests/support/Hexwriter.h"
#include "tests/support/Tempdir.h"

namespace {

struct TotalHexFixture : ::testing::Test {
  TempDir dir;
  TModelTotalHex total;

  std::string File(const std::string& name, const std::string& text) {
    return WriteTextFile(dir.File(name), text);
  }
  void LoadAll(const std::string texts[4]) {
    const char* names[4] = {"main.hex", "disp.hex", "lc.hex", "eth.hex"};
    for (int n = 1; n <= 4; ++n) total.LoadPart(n, File(names[n - 1], texts[n - 1]));
  }
  // The total file as the K7310 operation loads it.
  std::unique_ptr<HexFile> Reloaded() {
    const std::string path = dir.File("total.hex");
    total.Save(path);
    auto image = std::make_unique<HexFile>(0xB0000, 0x08000000);
    image->Load(path);
    return image;
  }
};

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

TEST_F(TotalHexFixture, PartsLandInTheirSlotsWithRewrittenAddressRecords) {
  const std::string texts[4] = {
      IntelHex({{0x08000000, Bytes(40, 1)}}), IntelHex({{0x08000000, Bytes(40, 2)}}),
      IntelHex({{0x08000100, Bytes(16, 3)}}), IntelHex({{0x08000000, Bytes(3, 4)}})};
  LoadAll(texts);
  ASSERT_TRUE(total.Combine()) << total.Problem();
  EXPECT_EQ(total.Shown, 5);
  EXPECT_TRUE(total.Combined);

  HexFile& t = total.Image(5);
  EXPECT_EQ(t.ByteAt(0x08000000), 1);
  EXPECT_EQ(t.ByteAt(0x08080000), 2);
  EXPECT_EQ(t.ByteAt(0x08090100), 3);
  EXPECT_EQ(t.ByteAt(0x080A0002), Bytes(3, 4)[2]);
  EXPECT_EQ(t.ByteAt(0x08090000), -1);

  // All lines kept, in part order, with the address records rewritten.
  const auto& lines = *t.Lines();
  std::vector<std::string> ela;
  for (const std::string& l : lines)
    if (l.size() >= 9 && l.compare(7, 2, "04") == 0) ela.push_back(l);
  ASSERT_EQ(ela.size(), 4u);
  EXPECT_EQ(ela[0], ":020000040800F2");
  EXPECT_EQ(ela[1], ":020000040808EA");
  EXPECT_EQ(ela[2], ":020000040809E9");
  EXPECT_EQ(ela[3], ":02000004080AE8");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ":00000001FF"), 4);

  // Combining again gives the same total.
  const std::vector<std::string> first = lines;
  ASSERT_TRUE(total.Combine());
  EXPECT_EQ(*total.Image(5).Lines(), first);
}

TEST_F(TotalHexFixture, StartAddressRecordsMoveTheDataAfterThem) {
  // Data records after a start linear address record are placed relative to
  // it; relocation rewrites it to the slot's full address.
  std::string display = IntelHexRecord(4, 0, {0x08, 0x00}) +
                        IntelHexRecord(5, 0, {0x08, 0x00, 0x00, 0x00}) +
                        IntelHexRecord(0, 0x0010, {0xAA, 0xAB}) + ":00000001FF\r\n";
  const std::string texts[4] = {IntelHex({{0x08000000, {1}}}), display,
                                IntelHex({{0x08000000, {0xBB}}}), IntelHex({{0x08000000, {4}}})};
  LoadAll(texts);
  ASSERT_TRUE(total.Combine()) << total.Problem();
  EXPECT_EQ(total.Image(5).ByteAt(0x08080010), 0xAA);
  EXPECT_EQ(total.Image(5).ByteAt(0x08080011), 0xAB);
  EXPECT_EQ(total.Image(5).ByteAt(0x08090000), 0xBB);
  const auto& lines = *total.Image(5).Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), ":0400000508080000E7"), lines.end());
}

TEST_F(TotalHexFixture, AMissingPartChangesNothing) {
  const std::string texts[4] = {IntelHex({{0x08000000, {1}}}), IntelHex({{0x08000000, {2}}}),
                                IntelHex({{0x08000000, {3}}}), IntelHex({{0x08000000, {4}}})};
  LoadAll(texts);
  ASSERT_TRUE(total.Combine());
  const std::vector<std::string> before = *total.Image(5).Lines();

  TModelTotalHex fresh;
  fresh.LoadPart(1, File("m.hex", texts[0]));
  EXPECT_FALSE(fresh.Combine());
  EXPECT_TRUE(fresh.Problem().empty());
  EXPECT_FALSE(fresh.Combined);
  EXPECT_EQ(fresh.Shown, 0);
  EXPECT_FALSE(fresh.Image(5).IsLoaded());

  // A later part load leaves the total as it was until the next combine.
  total.LoadPart(2, File("d2.hex", IntelHex({{0x08000000, {9}}})));
  EXPECT_EQ(*total.Image(5).Lines(), before);
}

// Parts whose data a reload of the saved total would put elsewhere than the
// total shows: refused, naming the part, and the earlier total stays.
TEST_F(TotalHexFixture, PartsWithDataOutsideTheirImageAreRefused) {
  struct Case {
    const char* what;
    int part;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"main data past 512 KiB", 1, IntelHex({{0x08080000, {1, 2}}})},
      {"display without extended linear address", 2, IntelHex({{0x00000000, {1, 2}}}, 16, false)},
      {"display with extended segment records",
       3, IntelHexRecord(2, 0, {0x10, 0x00}) + IntelHexRecord(0, 0, {5}) + ":00000001FF\r\n"},
      {"ethernet past 64 KiB", 4, IntelHex({{0x08010000, {7}}})},
  };
  const std::string good[4] = {IntelHex({{0x08000000, {1}}}), IntelHex({{0x08000000, {2}}}),
                               IntelHex({{0x08000000, {3}}}), IntelHex({{0x08000000, {4}}})};
  for (const Case& c : cases) {
    TModelTotalHex t;
    for (int n = 1; n <= 4; ++n) t.LoadPart(n, File("p" + std::to_string(n) + ".hex", good[n - 1]));
    ASSERT_TRUE(t.Combine());
    const std::vector<std::string> before = *t.Image(5).Lines();
    t.LoadPart(c.part, File("bad.hex", c.text));
    EXPECT_FALSE(t.Combine()) << c.what;
    EXPECT_NE(t.Problem().find(TModelTotalHex::PartName(c.part)), std::string::npos)
        << c.what << ": " << t.Problem();
    EXPECT_EQ(*t.Image(5).Lines(), before) << c.what;
  }
}

// The invariant: what the tool shows as the total is what a K7310 download
// of the saved total file sends, cell for cell.
TEST_F(TotalHexFixture, SavedTotalReloadsToTheShownImage) {
  std::mt19937 rng(7);
  for (int round = 0; round < 25; ++round) {
    std::string texts[4];
    for (int n = 0; n < 4; ++n) {
      const uint32_t size = n == 0 ? 0x80000 : 0x10000;
      std::vector<HexChunk> chunks;
      const int count = 1 + static_cast<int>(rng() % 4);
      for (int k = 0; k < count; ++k) {
        const uint32_t len = 1 + rng() % 300;
        const uint32_t offset = rng() % (size - len);
        std::vector<uint8_t> data(len);
        for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
        chunks.push_back({0x08000000 + offset, data});
      }
      texts[n] = IntelHex(chunks, 8 + static_cast<int>(rng() % 3) * 8, true, rng() % 2 == 0);
    }
    LoadAll(texts);
    ASSERT_TRUE(total.Combine()) << total.Problem();
    auto reloaded = Reloaded();
    for (int32_t i = 0; i < 0xB0000; ++i)
      ASSERT_EQ(reloaded->ByteAt(i), total.Image(5).ByteAt(i)) << "round " << round << " cell " << i;
  }
}

TEST_F(TotalHexFixture, SaveWritesTheLinesWithCrLf) {
  const std::string texts[4] = {IntelHex({{0x08000000, {1}}}), IntelHex({{0x08000000, {2}}}),
                                IntelHex({{0x08000000, {3}}}), IntelHex({{0x08000000, {4}}})};
  LoadAll(texts);
  ASSERT_TRUE(total.Combine());
  const std::string path = dir.File("t.hex");
  total.Save(path);
  const std::vector<std::string> lines = ReadTextLines(path);
  EXPECT_EQ(lines, *total.Image(5).Lines());
  std::ifstream in(path, std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(raw.substr(0, 17), ":020000040800F2\r\n");
}

}  // namespace
