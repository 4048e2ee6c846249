// Hostile parameter files: a line of a megabyte, and a file of 100 000 lines
// that the parameter download walks with NextParameter from the first
// parameter to the last.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>

#include "core/Modelswdl.h"
#include "core/Textfile.h"
#include "tests/hostile/Hostilefiles.h"
#include "tests/hostile/Peakmemory.h"
#include "tests/support/Hexwriter.h"

namespace {

constexpr uint8_t ParameterDownload = 3;

class ParameterHostile : public ::testing::Test {
 protected:
  void SetUp() override { Model.SetOperation(ParameterDownload); }
  std::string Path(const std::string& name) const { return Dir.path().toStdString() + "/" + name; }

  // The parameters in the order the download sends them.
  std::vector<std::pair<int32_t, std::string>> Walk() const {
    std::vector<std::pair<int32_t, std::string>> sent;
    int32_t after = -1, number = 0;
    std::string value;
    while (Model.NextParameter(after, number, value)) {
      sent.emplace_back(number, value);
      after = number;
    }
    return sent;
  }

  QTemporaryDir Dir;
  TModelSwDl Model;
};

// Both line forms with a megabyte in the value: the value keeps its first 255
// characters, the lines around it are not disturbed.
TEST_F(ParameterHostile, AMegabyteValueIsCutTo255Characters) {
  const std::string huge(1 << 20, 'v');
  const std::string path = WriteTextFile(Path("long.txt"), "1:a\r\nPar.2: long :" + huge + "\r\n3:" + huge +
                                                               "\r\n" + std::string(1 << 20, '#') + "\r\n4:d\r\n");
  const TPeakMemory memory;
  Model.LoadFile(path);
  const auto sent = Walk();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[1], std::make_pair(2, std::string(255, 'v')));
  EXPECT_EQ(sent[2], std::make_pair(3, std::string(255, 'v')));
  EXPECT_EQ(sent[3], std::make_pair(4, std::string("d")));
  EXPECT_LT(memory.GrowthBytes(), HostileMemoryBound);
}

// 100 000 lines, every one a parameter; numbers above 65535 do not count. The
// walk asks for the next parameter once per parameter sent, so a look-up
// that reads the file from the start each time costs the square of its
// length (65 535 look-ups of up to 100 000 lines).
TEST_F(ParameterHostile, AHundredThousandLinesAreWalkedWithoutQuadraticCost) {
  constexpr int Lines = 100000;
  const std::string path = Path("many.txt");
  WriteRepeated(path, 1, [](int64_t) {
    std::string text;
    for (int n = 1; n <= Lines; ++n) text += "Par." + std::to_string(n) + ": Parameter " + std::to_string(n) + " :" + std::to_string(n % 977) + "\r\n";
    return text;
  });
  const TPeakMemory memory;
  const auto start = std::chrono::steady_clock::now();
  Model.LoadFile(path);
  const auto loaded = std::chrono::steady_clock::now();
  const auto sent = Walk();
  const auto walked = std::chrono::steady_clock::now();
  std::printf("[ figures  ] %d lines: load %.3f s, walk of %zu parameters %.3f s, peak memory +%.1f MiB\n", Lines,
              std::chrono::duration<double>(loaded - start).count(), sent.size(),
              std::chrono::duration<double>(walked - loaded).count(),
              static_cast<double>(memory.GrowthBytes()) / MiB);
  ASSERT_EQ(sent.size(), 65535u);
  EXPECT_EQ(sent.front(), std::make_pair(1, std::string("1")));
  EXPECT_EQ(sent.back(), std::make_pair(65535, std::to_string(65535 % 977)));
  EXPECT_LT(memory.GrowthBytes(), HostileMemoryBound);
}

// A device (or a disk image chosen by mistake) is refused once 64 MiB have
// been read, naming the file; the list loaded before stays.
TEST_F(ParameterHostile, AnEndlessFileIsRefusedAndTheListStays) {
  Model.LoadFile(WriteTextFile(Path("good.txt"), "5:x\r\n"));
  const TPeakMemory memory;
  try {
    Model.LoadFile("/dev/zero");
    ADD_FAILURE() << "/dev/zero was loaded";
  } catch (const TextFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Could not read file \"/dev/zero\": it is larger than 64 MiB, far more than a parameter list needs; "
              "choose the right file");
  }
  EXPECT_LT(memory.GrowthBytes(), HostileMemoryBound);
  EXPECT_EQ(Model.DataLines(), std::vector<std::string>{"5:x"});
}

}  // namespace
