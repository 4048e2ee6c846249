#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hex/Hexfile.h"
#include "tests/hex/Recordtext.h"
#include "tests/support/Tempdir.h"

namespace {

constexpr int32_t Flash = 0x08000000;

// A part read at the start of flash, copied into a total-sized work image
// the way the total is built.
class HexFileRelocateTest : public ::testing::Test {
 protected:
  void LoadPart(const std::vector<std::string>& lines) {
    Part.Load(Dir.Write("part.hex", JoinLines(lines)));
    Work.Assign(Part);
  }
  TempDir Dir;
  HexFile Part{0x10000, Flash};
  HexFile Work{0xB0000, Flash};
};

TEST_F(HexFileRelocateTest, RewritesLinearAddressRecordsWithTheirChecksums) {
  struct Case {
    const char* Line;
    int32_t NewBase;
    const char* Expected;
  };
  const std::vector<Case> cases = {
      {":020000040800F2", 0x08080000, ":020000040808EA"},
      {":0400000508000000EF", 0x08080000, ":0400000508080000E7"},
      {":020000040800F2", 0x08090000, ":020000040809E9"},
      {":020000040800F2", 0x080A0000, ":02000004080AE8"},
      {":020000040800f2", 0x08080000, ":020000040808EA"},
      {":020000040801F1", 0x08080000, ":020000040808EA"},          // every segment gets the same value
      {":0400000408000000EE", 0x08080000, ":0400000408000000EE"},  // count 4: not an address record
      {":020010040800E2", 0x08080000, ":020010040800E2"},          // address not 0
      {":020000021000EC", 0x08080000, ":020000021000EC"},          // segment records stay
      {":0400000508000000EF", -0x10000, ":04000005FFFF0000F9"},  // top of the 32-bit range
      {":020000040800F2", -0x10000, ":02000004FFFFFC"},
  };
  for (const auto& c : cases) {
    LoadPart({c.Line, ":00000001FF"});
    Work.Relocate(c.NewBase);
    ASSERT_EQ(Work.Lines()->size(), 2u);
    EXPECT_EQ((*Work.Lines())[0], c.Expected) << c.Line << " to " << std::hex << c.NewBase;
    EXPECT_EQ((*Work.Lines())[1], ":00000001FF");
  }
}

TEST_F(HexFileRelocateTest, RebuildsTheCellsAtTheNewPlace) {
  LoadPart({":020000040800F2", DataRecord(0x0100, Bytes(0x10, 16)), ":0400000508000000EF",
            DataRecord(0x0200, {0x77}), ":00000001FF"});
  ASSERT_EQ(Work.UsedLength(), 0x201);
  Work.Relocate(0x08090000);
  EXPECT_EQ(Work.FilledCount(), 17);
  EXPECT_EQ(Work.ByteAt(0x100), -1);
  EXPECT_EQ(Work.ByteAt(0x90100), 0x10);
  EXPECT_EQ(Work.ByteAt(0x9010F), 0x1F);
  EXPECT_EQ(Work.ByteAt(0x90200), 0x77);
  EXPECT_EQ(Work.UsedLength(), 0x90201);
  EXPECT_TRUE(Work.Report().Clean());
  EXPECT_TRUE(Work.IsLoaded());
}

TEST_F(HexFileRelocateTest, SecondReadingIgnoresSegmentRecords) {
  // Read first, the segment record moves the second data record out of the
  // part; read again after relocating, it is ignored.
  LoadPart({":020000040800F2", DataRecord(0x0010, {1}), ":020000020100FB", DataRecord(0x0020, {2})});
  EXPECT_EQ(Part.Report().OutsideBytes, 1);
  Work.Relocate(0x08080000);
  EXPECT_EQ(Work.ByteAt(0x80010), 1);
  EXPECT_EQ(Work.ByteAt(0x80020), 2);
  EXPECT_FALSE(Work.Report().HasOutside());
  EXPECT_EQ((*Work.Lines())[2], ":020000020100FB");
}

TEST_F(HexFileRelocateTest, ReportsDataPlacedOutside) {
  // No extended linear address record: the data stays at address 0x0000,
  // below the image.
  LoadPart({DataRecord(0x0000, {1, 2})});
  EXPECT_EQ(Part.Report().OutsideBytes, 2);
  Work.Relocate(0x08080000);
  EXPECT_EQ(Work.FilledCount(), 0);
  EXPECT_EQ(Work.Report().OutsideBytes, 2);
  EXPECT_EQ(Work.Report().FirstOutside, 0);

  // A part running past the last 64 KiB of the total.
  LoadPart({":020000040800F2", DataRecord(0xFFF8, Bytes(0, 16))});
  ASSERT_EQ(Part.Report().FirstOutside, 0x08010000);
  Work.Relocate(0x080A0000);
  EXPECT_EQ(Work.FilledCount(), 8);
  EXPECT_EQ(Work.ByteAt(0xAFFFF), 7);
  EXPECT_EQ(Work.Report().OutsideText(),
            "8 data bytes lie outside the image (0x080B0000 to 0x080B0007) and were left out");
}

}  // namespace
