#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "hex/Hexfile.h"
#include "tests/hex/Recordtext.h"
#include "tests/support/Tempdir.h"

namespace {

struct Filled {
  int32_t Index;
  std::vector<int> Bytes;
};

struct PlacementCase {
  const char* Name;
  int32_t Size;
  int32_t Base;
  std::vector<std::string> Lines;
  std::vector<Filled> Expected;  // all other cells stay empty
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

void ExpectCells(const HexFile& image, const std::vector<Filled>& expected, const std::string& what) {
  int32_t filled = 0;
  for (const auto& f : expected) {
    for (size_t k = 0; k < f.Bytes.size(); ++k)
      EXPECT_EQ(image.ByteAt(f.Index + static_cast<int32_t>(k)), f.Bytes[k])
          << what << ": cell 0x" << std::hex << f.Index + static_cast<int32_t>(k);
    filled += static_cast<int32_t>(f.Bytes.size());
  }
  EXPECT_EQ(image.FilledCount(), filled) << what;
}

TEST(HexFileLoadTest, RecordsPlaceTheirBytes) {
  const std::string ela0800 = ":020000040800F2";
  const std::vector<PlacementCase> cases = {
      {"extended linear address", 0xB0000, 0x08000000,
       {ela0800, DataRecord(0x0100, Bytes(0xA0, 16)), ":00000001FF"},
       {{0x100, Bytes(0xA0, 16)}}},
      {"start linear address as extended base", 0xB0000, 0x08000000,
       {":0400000508000000EF", DataRecord(0x0020, {0x11})},
       {{0x20, {0x11}}}},
      {"extended segment address", 0x20000, 0,
       {":020000021000EC", DataRecord(0x0010, {0x22, 0x33})},
       {{0x10010, {0x22, 0x33}}}},
      {"16-bit address goes on past 0xFFFF", 0xB0000, 0x08000000,
       {ela0800, DataRecord(0xFFF8, Bytes(0, 16))},
       {{0xFFF8, Bytes(0, 16)}}},
      {"later record overwrites", 0xB0000, 0x08000000,
       {ela0800, DataRecord(0x0000, {1, 2, 3, 4}), DataRecord(0x0002, {9})},
       {{0, {1, 2, 9, 4}}}},
      {"lines after end of file are read", 0xB0000, 0x08000000,
       {ela0800, DataRecord(0x0000, {1}), ":00000001FF", ":020000040801F1", DataRecord(0x0000, {2})},
       {{0, {1}}, {0x10000, {2}}}},
      {"address records with other count or address are ignored", 0xB0000, 0x08000000,
       {":020000040801F1", Record(0x04, 0x0000, {0x08, 0x02, 0, 0}), Record(0x04, 0x0010, {0x08, 0x03}),
        Record(0x05, 0x0000, {0x08, 0x04}), Record(0x02, 0x0000, {0x10, 0x00, 0x00}), DataRecord(0x0000, {7})},
       {{0x10000, {7}}}},
      {"unknown and start segment types are skipped", 0xB0000, 0x08000000,
       {ela0800, Record(0x03, 0, {0, 0, 0x12, 0x34}), Record(0x06, 0x0000, {1, 2}), Record(0xAA, 0x0010, {3}),
        DataRecord(0x0004, {5})},
       {{4, {5}}}},
      {"blank lines change nothing", 0xB0000, 0x08000000,
       {ela0800, "", "   ", DataRecord(0x0000, {6})},
       {{0, {6}}}},
  };

  TempDir dir;
  for (const auto& c : cases) {
    const std::string text = JoinLines(c.Lines);
    HexFile upper(c.Size, c.Base);
    upper.Load(dir.Write("upper.hex", text));
    ExpectCells(upper, c.Expected, c.Name);
    EXPECT_FALSE(upper.Report().HasOutside()) << c.Name << ": " << upper.Report().OutsideText();

    // Read as the file goes, keeping no lines: the same cells and count.
    HexFile streamed(c.Size, c.Base);
    streamed.LoadWithoutLines(dir.File("upper.hex"));
    ExpectCells(streamed, c.Expected, std::string(c.Name) + " (without lines)");
    EXPECT_EQ(streamed.Lines(), nullptr) << c.Name;
    EXPECT_EQ(streamed.Report().RecordCount, upper.Report().RecordCount) << c.Name;

    HexFile lower(c.Size, c.Base);
    lower.Load(dir.Write("lower.hex", Lower(text)));
    ExpectCells(lower, c.Expected, std::string(c.Name) + " (lower case)");
    EXPECT_EQ(lower.Report().BadChecksumLines + lower.Report().MalformedLines,
              upper.Report().BadChecksumLines + upper.Report().MalformedLines)
        << c.Name << " (lower case)";
  }
}

TEST(HexFileLoadTest, KeepsLinesAsReadWithoutLineEnds) {
  TempDir dir;
  HexFile image(0x10000, 0x08000000);
  EXPECT_EQ(image.Lines(), nullptr);
  EXPECT_FALSE(image.IsLoaded());

  image.Load(dir.Write("mixed.hex", ":020000040800F2\r\n:00000001FF\n\r\n  :0100000001FE  \n:00000001FF"));
  ASSERT_NE(image.Lines(), nullptr);
  const std::vector<std::string> expected = {":020000040800F2", ":00000001FF", "", "  :0100000001FE  ",
                                             ":00000001FF"};
  EXPECT_EQ(*image.Lines(), expected);
  EXPECT_TRUE(image.IsLoaded());
  EXPECT_EQ(image.FileName(), dir.File("mixed.hex"));
  EXPECT_EQ(image.Report().RecordCount, 4);

  image.Load(dir.Write("empty.hex", ""));
  EXPECT_TRUE(image.Lines()->empty());
  EXPECT_TRUE(image.IsLoaded());
  EXPECT_EQ(image.UsedLength(), -1);
}

TEST(HexFileLoadTest, SecondLoadReplacesEverything) {
  TempDir dir;
  HexFile image(0x10000, 0x08000000);
  image.Load(dir.Write("a.hex", JoinLines({":020000040800F2", DataRecord(0x0000, Bytes(1, 32)), ":0100"})));
  ASSERT_EQ(image.UsedLength(), 32);
  ASSERT_TRUE(image.Report().HasRecordProblems());

  image.Load(dir.Write("b.hex", JoinLines({":020000040800F2", DataRecord(0x0010, {0x42})})));
  EXPECT_EQ(image.FilledCount(), 1);
  EXPECT_EQ(image.ByteAt(0x10), 0x42);
  EXPECT_EQ(image.UsedLength(), 0x11);
  EXPECT_EQ(image.Lines()->size(), 2u);
  EXPECT_TRUE(image.Report().Clean());
  EXPECT_EQ(image.FileName(), dir.File("b.hex"));
}

// A file that cannot be read leaves the image exactly as it was.
class HexFileLoadErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Good = Dir.Write("good.hex", JoinLines({":020000040800F2", DataRecord(0x0000, {1, 2, 3})}));
    Image.Load(Good);
  }

  void ExpectUnchanged() {
    EXPECT_TRUE(Image.IsLoaded());
    EXPECT_EQ(Image.FileName(), Good);
    ASSERT_NE(Image.Lines(), nullptr);
    EXPECT_EQ(Image.Lines()->size(), 2u);
    EXPECT_EQ(Image.FilledCount(), 3);
    EXPECT_EQ(Image.ByteAt(2), 3);
    EXPECT_EQ(Image.UsedLength(), 3);
  }

  void ExpectLoadFails(const std::string& fileName, const std::string& message) {
    try {
      Image.Load(fileName);
      ADD_FAILURE() << "Load of " << fileName << " did not fail";
    } catch (const HexFileError& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
    ExpectUnchanged();
  }

  TempDir Dir;
  HexFile Image{0x10000, 0x08000000};
  std::string Good;
};

TEST_F(HexFileLoadErrorTest, MissingFile) {
  const std::string name = Dir.File("missing.hex");
  ExpectLoadFails(name, "Could not read HEX file \"" + name + "\": No such file or directory");
}

TEST_F(HexFileLoadErrorTest, Directory) {
  const std::string name = Dir.File("");
  ExpectLoadFails(name, "Could not read HEX file \"" + name + "\": Is a directory");
}

// File modes and /proc as Linux has them.
#ifndef _WIN32
TEST_F(HexFileLoadErrorTest, UnreadableFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files regardless of their mode";
  const std::string name = Dir.Write("locked.hex", ":00000001FF\r\n");
  ASSERT_EQ(::chmod(name.c_str(), 0), 0);
  ExpectLoadFails(name, "Could not read HEX file \"" + name + "\": Permission denied");
}

TEST_F(HexFileLoadErrorTest, ReadFailingAfterOpen) {
  // Opens fine, but reading its first page fails: nothing is mapped there.
  ExpectLoadFails("/proc/self/mem", "Could not read HEX file \"/proc/self/mem\": Input/output error");
}
#endif

TEST_F(HexFileLoadErrorTest, NeverLoadedImageStaysEmpty) {
  HexFile fresh(0x100, 0);
  EXPECT_THROW(fresh.Load(Dir.File("missing.hex")), HexFileError);
  EXPECT_FALSE(fresh.IsLoaded());
  EXPECT_EQ(fresh.Lines(), nullptr);
  EXPECT_EQ(fresh.FileName(), "");
}

// Without lines the cells fill as the file is read; a read failing part way
// must not leave a half-read image that claims to be loaded.
TEST_F(HexFileLoadErrorTest, LoadWithoutLinesLeavesNothingBehindAFailure) {
  for (const std::string& name : {Dir.File("missing.hex"), std::string("/proc/self/mem"), Dir.File("")}) {
    HexFile image(0x10000, 0x08000000);
    image.LoadWithoutLines(Good);
    ASSERT_EQ(image.FilledCount(), 3);
    EXPECT_THROW(image.LoadWithoutLines(name), HexFileError) << name;
    EXPECT_FALSE(image.IsLoaded()) << name;
    EXPECT_EQ(image.FilledCount(), 0) << name;
    EXPECT_EQ(image.UsedLength(), -1) << name;
    EXPECT_EQ(image.FileName(), "") << name;
    EXPECT_EQ(image.Report().RecordCount, 0) << name;
  }
}

TEST(HexFileReportTest, RecordProblemsAreCountedWithTheirLines) {
  TempDir dir;
  HexFile image(0x10000, 0x08000000);
  image.Load(dir.Write("faults.hex", JoinLines({
                                         ":020000040800F2",                      // 1 good
                                         ":0400000001020304F0",                  // 2 wrong checksum
                                         ":04001000G1020304E2",                  // 3 non-hex data digit
                                         ":0400200001020304",                    // 4 checksum missing
                                         "",                                     // 5 blank: fine
                                         ":0400300001020304c2",                  // 6 good, lower case
                                         ":00000001FF",                          // 7 good
                                     })));
  const HexLoadReport& r = image.Report();
  EXPECT_EQ(r.RecordCount, 6);
  EXPECT_EQ(r.BadChecksumLines, 1);
  EXPECT_EQ(r.MalformedLines, 2);
  EXPECT_EQ(r.ProblemLines, (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(r.RecordProblemText(), "3 records with wrong checksums or malformed fields (lines 2, 3, 4)");
  EXPECT_TRUE(r.OutsideText().empty());

  // The image is built regardless; a non-hex digit reads as 0.
  EXPECT_EQ(image.ByteAt(0x00), 0x01);
  EXPECT_EQ(image.ByteAt(0x10), 0x01);
  EXPECT_EQ(image.ByteAt(0x20), 0x01);
  EXPECT_EQ(image.ByteAt(0x33), 0x04);
  EXPECT_EQ(image.FilledCount(), 16);

  // Read without lines, the report names the same lines.
  HexFile streamed(0x10000, 0x08000000);
  streamed.LoadWithoutLines(dir.File("faults.hex"));
  EXPECT_EQ(streamed.Report().RecordProblemText(), r.RecordProblemText());
  EXPECT_EQ(streamed.FilledCount(), 16);
}

TEST(HexFileReportTest, ProblemTextListsTheFirstLinesOnly) {
  std::vector<std::string> lines;
  for (int i = 0; i < 12; ++i) lines.push_back(":0000000001");
  lines.insert(lines.begin(), ":00000001FF");
  TempDir dir;
  HexFile image(0x100, 0);
  image.Load(dir.Write("many.hex", JoinLines(lines)));
  EXPECT_EQ(image.Report().BadChecksumLines, 12);
  EXPECT_EQ(image.Report().RecordProblemText(),
            "12 records with wrong checksums or malformed fields (lines 2, 3, 4, 5, 6, 7, 8, 9 and 4 more)");

  image.Load(dir.Write("one.hex", JoinLines({":00000001FF", ":000000"})));
  EXPECT_EQ(image.Report().RecordProblemText(), "1 record with a wrong checksum or malformed fields (line 2)");
}

TEST(HexFileReportTest, BytesOutsideTheImageAreLeftOutAndCounted) {
  TempDir dir;
  std::vector<std::string> lines = {":020000040810E2"};
  for (unsigned a = 0; a < 0x70; a += 0x10) lines.push_back(DataRecord(a, Bytes(0x55, 16)));
  lines.push_back(DataRecord(0x70, Bytes(0x55, 8)));
  HexFile image(0xB0000, 0x08000000);
  image.Load(dir.Write("beyond.hex", JoinLines(lines)));
  EXPECT_EQ(image.FilledCount(), 0);
  EXPECT_EQ(image.Report().OutsideBytes, 120);
  EXPECT_EQ(image.Report().OutsideText(),
            "120 data bytes lie outside the image (0x08100000 to 0x08100077) and were left out");
  EXPECT_FALSE(image.Report().HasRecordProblems());
}

TEST(HexFileReportTest, RecordAcrossTheImageEndKeepsTheBytesInside) {
  TempDir dir;
  HexFile image(0x10000, 0x08000000);
  image.Load(dir.Write("edge.hex", JoinLines({":020000040800F2", DataRecord(0xFFFC, {1, 2, 3, 4, 5, 6, 7, 8})})));
  EXPECT_EQ(image.FilledCount(), 4);
  EXPECT_EQ(image.ByteAt(0xFFFF), 4);
  EXPECT_EQ(image.UsedLength(), 0x10000);
  EXPECT_EQ(image.Report().OutsideBytes, 4);
  EXPECT_EQ(image.Report().FirstOutside, 0x08010000);
  EXPECT_EQ(image.Report().LastOutside, 0x08010003);
}

TEST(HexFileReportTest, AddressesBelowTheBaseOrPast4GiBDoNotWrapIntoTheImage) {
  TempDir dir;
  HexFile flash(0xB0000, 0x08000000);
  flash.Load(dir.Write("nobase.hex", JoinLines({DataRecord(0x0000, {1})})));
  EXPECT_EQ(flash.FilledCount(), 0);
  EXPECT_EQ(flash.Report().OutsideText(), "1 data byte lies outside the image (0x00000000) and was left out");

  HexFile low(0x20000, 0);
  low.Load(dir.Write("top.hex", JoinLines({Record(0x05, 0, {0xFF, 0xFF, 0xFF, 0x00}), DataRecord(0x0100, {1, 2})})));
  EXPECT_EQ(low.FilledCount(), 0);
  EXPECT_EQ(low.Report().FirstOutside, 0x100000000);
  EXPECT_EQ(low.Report().LastOutside, 0x100000001);
}

}  // namespace
