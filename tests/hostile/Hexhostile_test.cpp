// Hostile HEX files loaded as the K7310 image: far too large, one record
// repeated a million times, a line of a megabyte, binary garbage. Each must
// load or be refused with a report that says what is wrong, within bounded
// memory; the image itself is of fixed size, the model keeps the file's lines
// for the view.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>

#include "core/Modelswdl.h"
#include "hex/Hexfile.h"
#include "hex/Hexfilelines.h"
#include "tests/hostile/Hostilefiles.h"
#include "tests/hostile/Peakmemory.h"
#include "tests/support/Hexwriter.h"

namespace {

constexpr uint8_t K7310Download = 1;
constexpr int32_t ImageSize = 0xB0000;
constexpr int64_t FiftyMegabytes = 50 * 1000 * 1000;

class HexHostile : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return Dir.path().toStdString() + "/" + name; }

  // Loads the file as the model loads it for the download, noting memory
  // and time; the model keeps the image.
  std::shared_ptr<const HexFile> Load(const std::string& path) {
    Model.SetOperation(K7310Download);
    const TPeakMemory memory;
    const auto start = std::chrono::steady_clock::now();
    Model.LoadFile(path);
    Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Growth = memory.GrowthBytes();
    auto image = Model.CurrentImage();
    std::printf("[ figures  ] %s: %.2f s, peak memory +%.1f MiB, %zu lines kept\n",
                ::testing::UnitTest::GetInstance()->current_test_info()->name(), Seconds,
                static_cast<double>(Growth) / MiB, image->Lines() ? image->Lines()->size() : size_t{0});
    return image;
  }

  QTemporaryDir Dir;
  TModelSwDl Model;
  double Seconds = 0;
  int64_t Growth = 0;
};

// 16 data bytes a record, one 64 KiB segment after the other from the flash
// base on: 17 MB of data for an image of 704 KiB.
std::string Segment(int64_t n) {
  const uint32_t upper = 0x0800 + static_cast<uint32_t>(n);
  std::string text = IntelHexRecord(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
  std::vector<uint8_t> data(16);
  for (uint32_t address = 0; address < 0x10000; address += 16) {
    for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(address + k + n);
    text += IntelHexRecord(0, static_cast<uint16_t>(address), data);
  }
  return text;
}

TEST_F(HexHostile, FiftyMegabytesOfRecordsFillTheImageAndReportTheRest) {
  const std::string path = Path("huge.hex");
  WriteRepeated(path, FiftyMegabytes, Segment);
  const auto image = Load(path);

  EXPECT_EQ(image->FilledCount(), ImageSize);
  EXPECT_EQ(image->UsedLength(), ImageSize);
  const HexLoadReport& report = image->Report();
  EXPECT_FALSE(report.HasRecordProblems());
  ASSERT_TRUE(report.HasOutside());
  EXPECT_EQ(report.FirstOutside, 0x080B0000);
  EXPECT_NE(report.OutsideText().find("lie outside the image (0x080B0000 to 0x"), std::string::npos)
      << report.OutsideText();
  EXPECT_LT(Growth, HostileMemoryBound);
}

struct RepeatedCase {
  const char* Name;
  std::string Record;  // with its line end
  int64_t Outside;     // data bytes reported outside the image
};

class HexRepeated : public HexHostile, public ::testing::WithParamInterface<RepeatedCase> {};

// One record type, the same line over and over: the lines are kept (the view
// shows them). A data record without an address record lies below the flash
// base, so every one of its bytes is reported outside.
TEST_P(HexRepeated, FiftyMegabytesOfOneRecordLoadWithinBoundedMemory) {
  const std::string path = Path("repeated.hex");
  int64_t lines = 0;
  WriteRepeated(path, FiftyMegabytes, [&](int64_t) {
    std::string chunk;
    for (int i = 0; i < 4096; ++i) chunk += GetParam().Record;
    lines += 4096;
    return chunk;
  });
  const auto image = Load(path);
  EXPECT_EQ(image->FilledCount(), 0);
  EXPECT_EQ(static_cast<int64_t>(image->Lines()->size()), lines);
  const HexLoadReport& report = image->Report();
  EXPECT_FALSE(report.HasRecordProblems()) << report.RecordProblemText();
  EXPECT_EQ(report.OutsideBytes, GetParam().Outside * lines);
  EXPECT_LT(Growth, HostileMemoryBound);
}

INSTANTIATE_TEST_SUITE_P(
    Records, HexRepeated,
    ::testing::Values(RepeatedCase{"DataBelowTheImage", IntelHexRecord(0, 0x0100, std::vector<uint8_t>(16, 0xA5)), 16},
                      RepeatedCase{"EndOfFile", ":00000001FF\r\n", 0}),
    [](const ::testing::TestParamInfo<RepeatedCase>& p) { return p.param.Name; });

// Larger than any image needs: refused before it is read (a file) or once
// the limit has been read (a device), naming the file; the image stays.
TEST_F(HexHostile, FilesLargerThanTheLimitAreRefusedAndTheImageStays) {
  const std::string good = Path("good.hex");
  WriteTextFile(good, IntelHex({{0x08000000, {1, 2, 3}}}));
  Model.SetOperation(K7310Download);
  Model.LoadFile(good);

  const std::string sparse = Path("disk.img");
  {
    std::FILE* f = std::fopen(sparse.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(::ftruncate(::fileno(f), MaxHexFileBytes + 1), 0);  // sparse: costs no disk
    std::fclose(f);
  }
  for (const std::string& path : {sparse, std::string("/dev/zero")}) {
    const TPeakMemory memory;
    try {
      Model.LoadFile(path);
      ADD_FAILURE() << path << " was loaded";
    } catch (const HexFileError& e) {
      EXPECT_EQ(std::string(e.what()), "Could not read HEX file \"" + path +
                                           "\": it is larger than 64 MiB, far more than any firmware image of this "
                                           "tool needs; choose the firmware's HEX file");
    }
    EXPECT_LT(memory.GrowthBytes(), HostileMemoryBound) << path;
    EXPECT_EQ(Model.CurrentImage()->FileName(), good);
    EXPECT_EQ(Model.CurrentImage()->FilledCount(), 3);
  }
}

// A record line of a megabyte: its fields decode, its checksum does not
// match; reported by line number, nothing written past the record's count.
TEST_F(HexHostile, AMegabyteLineIsReportedAsABadRecord) {
  const std::string path = Path("longline.hex");
  WriteTextFile(path, ":020000040800F2\r\n:10000000" + std::string(1 << 20, 'A') + "\r\n:00000001FF\r\n");
  const auto image = Load(path);
  EXPECT_EQ(image->FilledCount(), 16);
  EXPECT_EQ(image->ByteAt(0x08000000), 0xAA);
  EXPECT_EQ(image->Report().RecordProblemText(), "1 record with a wrong checksum or malformed fields (line 2)");
}

// Random bytes, NUL included: every line is reported, the first few by
// number, so the view asks before it uses the file and the command line
// refuses it.
TEST_F(HexHostile, BinaryGarbageIsReportedLineByLine) {
  const std::string path = Path("garbage.bin");
  WriteRandomBytes(path, 1 << 20, 7);
  const auto image = Load(path);
  const HexLoadReport& report = image->Report();
  ASSERT_TRUE(report.HasRecordProblems());
  EXPECT_EQ(report.BadChecksumLines + report.MalformedLines, report.RecordCount);
  const std::string text = report.RecordProblemText();
  EXPECT_EQ(text.rfind(std::to_string(report.RecordCount) + " records with wrong checksums or malformed fields (lines 1, 2, 3, 4, 5, 6, 7, 8 and ", 0), 0u) << text;
  EXPECT_LT(Growth, HostileMemoryBound);
}

}  // namespace
