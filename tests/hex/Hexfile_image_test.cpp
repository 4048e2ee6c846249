#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "hex/Hexfile.h"
#include "tests/hex/Recordtext.h"
#include "tests/support/Tempdir.h"

namespace {

constexpr int32_t Flash = 0x08000000;

// Loads an image from records; each entry is an extended linear address
// (upper 16 bits) with the data records that follow it.
struct Segment {
  unsigned Upper;
  std::vector<std::pair<unsigned, std::vector<int>>> Data;
};

void LoadSegments(HexFile& image, const std::vector<Segment>& segments) {
  static TempDir dir;
  std::vector<std::string> lines;
  for (const auto& s : segments) {
    lines.push_back(Record(0x04, 0, {static_cast<int>(s.Upper >> 8), static_cast<int>(s.Upper & 0xFF)}));
    for (const auto& [address, bytes] : s.Data) lines.push_back(DataRecord(address, bytes));
  }
  lines.push_back(":00000001FF");
  image.Load(dir.Write("image.hex", JoinLines(lines)));
  ASSERT_TRUE(image.Report().Clean()) << image.Report().RecordProblemText() << image.Report().OutsideText();
}

TEST(HexFileImageTest, NothingFilledGivesMinusOne) {
  HexFile image(0x10000, Flash);
  EXPECT_EQ(image.UsedLength(), -1);
  EXPECT_EQ(image.BlockLength(Flash, 256), -1);
  EXPECT_EQ(image.ByteAt(Flash), -1);

  LoadSegments(image, {{0x0800, {}}});
  EXPECT_TRUE(image.IsLoaded());
  EXPECT_EQ(image.UsedLength(), -1);
  EXPECT_EQ(image.BlockLength(Flash, 256), -1);
  EXPECT_EQ(image.FilledCount(), 0);
}

class HexFileBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Cells 4 (the fifth byte), 0x104, 0x1FE and the last one, 0xFFFF.
    LoadSegments(Image, {{0x0800, {{0x0004, {0x44}}, {0x0104, {0x01}}, {0x01FE, {0xFE}}, {0xFFFF, {0xFF}}}}});
  }
  HexFile Image{0x10000, Flash};
};

TEST_F(HexFileBlockTest, BlockLengthReachesTheLastFilledCellOfTheBlock) {
  struct Case {
    int32_t Address;
    int32_t Count;
    int32_t Expected;
  };
  const std::vector<Case> cases = {
      {Flash, 256, 5},             // only filled cell is the fifth byte
      {0, 256, 5},                 // below the base: a cell index
      {Flash + 4, 1, 1},
      {Flash + 0x100, 256, 0xFF},  // empty cells before the last filled one count
      {Flash + 0x200, 256, -1},
      {Flash + 0xFF00, 0x200, 0x100},  // stops at the end of the image
      {Flash + 0x10000, 16, -1},       // index equal to the size
      {Flash + 0x10001, 16, -1},       // index past the size
      {0x10001, 16, -1},
      {-5, 16, -1},                    // negative index is never read
      {Flash, 0, -1},
      {Flash, -3, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Image.BlockLength(c.Address, c.Count), c.Expected)
        << std::hex << "address 0x" << c.Address << " count 0x" << c.Count;
}

TEST_F(HexFileBlockTest, ByteAtTakesAnAddressOrAnIndex) {
  EXPECT_EQ(Image.ByteAt(Flash + 0x104), 0x01);
  EXPECT_EQ(Image.ByteAt(0x104), Image.ByteAt(Flash + 0x104));
  EXPECT_EQ(Image.ByteAt(Flash + 16), Image.ByteAt(16));
  EXPECT_EQ(Image.ByteAt(Flash + 5), -1);  // empty cell
  EXPECT_EQ(Image.ByteAt(0xFFFF), 0xFF);
  for (int32_t outside : {-1, INT32_MIN, 0x10000, Flash + 0x10000, INT32_MAX})
    EXPECT_EQ(Image.ByteAt(outside), -1) << std::hex << outside;
  EXPECT_EQ(Image.UsedLength(), 0x10000);
}

TEST(HexFileAssignTest, CopiesLinesCellsAndFlag) {
  HexFile part(0x10000, Flash);
  LoadSegments(part, {{0x0800, {{0x0000, {1, 2, 3}}}}});
  HexFile work(0xB0000, Flash);
  work.Assign(part);
  EXPECT_TRUE(work.IsLoaded());
  EXPECT_EQ(*work.Lines(), *part.Lines());
  EXPECT_NE(work.Lines(), part.Lines());  // a copy, not shared
  EXPECT_EQ(work.FilledCount(), 3);
  EXPECT_EQ(work.UsedLength(), 3);
  EXPECT_EQ(work.ByteAt(Flash + 2), 3);
}

TEST(HexFileAssignTest, UsedLengthStaysRightAcrossSizes) {
  // Cells past the copied part keep their content and still count.
  HexFile big(0xB0000, Flash);
  LoadSegments(big, {{0x0809, {{0x0000, {9}}}}});
  ASSERT_EQ(big.UsedLength(), 0x90001);
  HexFile small(0x10000, Flash);
  LoadSegments(small, {{0x0800, {{0x0010, {1}}, {0xFFFF, {2}}}}});
  ASSERT_EQ(small.UsedLength(), 0x10000);

  big.Assign(small);
  EXPECT_EQ(big.ByteAt(0x90000), 9);
  EXPECT_EQ(big.UsedLength(), 0x90001);

  HexFile tiny(0x100, Flash);
  tiny.Assign(big);
  EXPECT_EQ(tiny.FilledCount(), 1);
  EXPECT_EQ(tiny.UsedLength(), 0x11);
}

TEST(HexFileAssignTest, OddSizedPartReplacesOnlyItsOwnCells) {
  HexFile big(0x10000, Flash);
  LoadSegments(big, {{0x0800, {{50, {0x50}}, {99, {0x99}}, {100, {0xA0}}, {120, {0xB0}}}}});
  HexFile odd(100, Flash);
  LoadSegments(odd, {{0x0800, {{10, {0x10}}, {99, {0x09}}}}});

  big.Assign(odd);
  EXPECT_EQ(big.ByteAt(10), 0x10);
  EXPECT_EQ(big.ByteAt(50), -1);    // empty in the part: emptied here
  EXPECT_EQ(big.ByteAt(99), 0x09);
  EXPECT_EQ(big.ByteAt(100), 0xA0);  // past the part: kept
  EXPECT_EQ(big.ByteAt(120), 0xB0);
  EXPECT_EQ(big.FilledCount(), 4);
  EXPECT_EQ(big.UsedLength(), 121);
}

TEST(HexFileMergeTest, AppendsLinesAndOverlaysFilledCells) {
  HexFile total(0xB0000, Flash);
  HexFile a(0xB0000, Flash);
  LoadSegments(a, {{0x0800, {{0x0000, {1, 2, 3, 4}}, {0x1000, {5}}}}});
  HexFile b(0xB0000, Flash);
  LoadSegments(b, {{0x0800, {{0x0001, {0x22}}, {0x0003, {0x44}}}}});

  total.Merge(a);
  ASSERT_NE(total.Lines(), nullptr);
  EXPECT_EQ(total.UsedLength(), 0x1001);
  total.Merge(b);
  EXPECT_TRUE(total.IsLoaded());
  std::vector<std::string> lines = *a.Lines();
  lines.insert(lines.end(), b.Lines()->begin(), b.Lines()->end());
  EXPECT_EQ(*total.Lines(), lines);
  for (auto [index, value] : std::vector<std::pair<int32_t, int32_t>>{{0, 1}, {1, 0x22}, {2, 3}, {3, 0x44}, {0x1000, 5}})
    EXPECT_EQ(total.ByteAt(index), value) << index;
  EXPECT_EQ(total.UsedLength(), 0x1001);  // b ends lower: the highest of the two counts
}

TEST(HexFileMergeTest, PartEndingAtTheLastCellGivesTheFullUsedLength) {
  HexFile total(0xB0000, Flash);
  HexFile main(0xB0000, Flash);
  LoadSegments(main, {{0x0800, {{0x0000, Bytes(0, 16)}}}});
  total.Assign(main);
  ASSERT_EQ(total.UsedLength(), 16);

  HexFile ethernet(0xB0000, Flash);
  LoadSegments(ethernet, {{0x080A, {{0xFFFF, {0xEE}}}}});
  total.Merge(ethernet);
  EXPECT_EQ(total.UsedLength(), 0xB0000);
  EXPECT_EQ(total.ByteAt(0xAFFFF), 0xEE);
}

TEST(HexFileMergeTest, UnloadedPartAddsNothing) {
  HexFile total(0x100, Flash);
  HexFile unloaded(0x100, Flash);
  total.Merge(unloaded);
  ASSERT_NE(total.Lines(), nullptr);
  EXPECT_TRUE(total.Lines()->empty());
  EXPECT_FALSE(total.IsLoaded());
  EXPECT_EQ(total.UsedLength(), -1);
}

TEST(HexFileMergeTest, ReportsAddUpWithLineNumbersOfTheMergedList) {
  TempDir dir;
  HexFile a(0x100, Flash);
  a.Load(dir.Write("a.hex", JoinLines({":020000040800F2", ":0100000001FF", ":00000001FF"})));
  HexFile b(0x100, Flash);
  b.Load(dir.Write("b.hex", JoinLines({":020000040800F2", ":01000000", ":020000040810E2", ":0100000001FE"})));
  HexFile total(0x100, Flash);
  total.Assign(a);
  total.Merge(b);
  EXPECT_EQ(total.Report().ProblemLines, (std::vector<int>{2, 5}));
  EXPECT_EQ(total.Report().RecordCount, 7);
  EXPECT_EQ(total.Report().OutsideBytes, 1);
  EXPECT_EQ(total.Report().FirstOutside, 0x08100000);
}

struct StampCase {
  const char* Name;
  std::vector<Segment> Data;
  std::vector<int> Expected;  // cells 0x17FFC to 0x17FFF
};

TEST(HexFileStampTest, WritesTheImageChecksum) {
  const std::vector<StampCase> cases = {
      {"no filled cell (sumA 0x8000, sumB 0xC002)", {{0x000E, {}}}, {0xAA, 0xD5, 0xA8, 0x95}},
      {"one word 0x0001 in the first 64 KiB", {{0x000E, {{0x0000, {0x01, 0x00}}}}}, {0xA8, 0xD5, 0xA8, 0x95}},
      {"one word 0x0001 in the second part", {{0x000F, {{0x0000, {0x01, 0x00}}}}}, {0xAA, 0xD5, 0xAE, 0x95}},
      {"an old stamp does not count", {{0x000F, {{0x7FFC, {1, 2, 3, 4}}}}}, {0xAA, 0xD5, 0xA8, 0x95}},
  };
  for (const auto& c : cases) {
    HexFile image(0x20000, 0x000E0000);
    LoadSegments(image, c.Data);
    image.StampChecksum();
    for (int k = 0; k < 4; ++k) EXPECT_EQ(image.ByteAt(0x17FFC + k), c.Expected[k]) << c.Name << " byte " << k;
    EXPECT_EQ(image.ByteAt(0xF7FFC), c.Expected[0]) << c.Name;
    image.StampChecksum();
    for (int k = 0; k < 4; ++k) EXPECT_EQ(image.ByteAt(0x17FFC + k), c.Expected[k]) << c.Name << " (again)";
  }
}

TEST(HexFileStampTest, UsedLengthIncludesTheStamp) {
  HexFile image(0x20000, 0x000E0000);
  LoadSegments(image, {{0x000E, {{0x0000, {1, 2}}}}});
  ASSERT_EQ(image.UsedLength(), 2);
  image.StampChecksum();
  EXPECT_EQ(image.UsedLength(), 0x18000);
  EXPECT_EQ(image.BlockLength(0xF7F00, 0x100), 0x100);
}

TEST(HexFileStampTest, ImageTooSmallForTheStampStaysUnchanged) {
  HexFile image(0x10000, 0x000E0000);
  LoadSegments(image, {{0x000E, {{0x0000, {1}}}}});
  image.StampChecksum();
  EXPECT_EQ(image.FilledCount(), 1);
}

}  // namespace
