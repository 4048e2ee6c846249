// Hostile INI files: lines of a megabyte, and 100 000 sections.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>

#include "files/Inifile.h"
#include "tests/hostile/Hostilefiles.h"
#include "tests/hostile/Peakmemory.h"
#include "tests/support/Hexwriter.h"

namespace {

class IniHostile : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return Dir.path().toStdString() + "/" + name; }
  QTemporaryDir Dir;
};

// A megabyte value reads back whole; as a number it is no number and gives
// the default. A megabyte section name and a megabyte line without "=" hold
// no key and disturb nothing around them.
TEST_F(IniHostile, MegabyteLinesReadAsTheyStand) {
  const std::string huge(1 << 20, '7');
  const std::string path =
      WriteTextFile(Path("long.INI"), "[CONFIG]\r\nPORT=3\r\nLONG=" + huge + "\r\n" + std::string(1 << 20, 'x') +
                                          "\r\n[" + std::string(1 << 20, 'S') + "]\r\nK=1\r\n[PORTS]\r\nCOM1=/dev/x\r\n");
  const TPeakMemory memory;
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("CONFIG", "LONG", ""), huge);
  EXPECT_EQ(ini.ReadInteger("CONFIG", "LONG", -5), -5);  // does not fit 32 bits
  EXPECT_EQ(ini.ReadInteger("CONFIG", "PORT", 0), 3);
  EXPECT_EQ(ini.ReadInteger(std::string(1 << 20, 's'), "K", 0), 1);
  EXPECT_EQ(ini.ReadKeys("PORTS"), std::vector<std::string>{"COM1"});
  ASSERT_TRUE(ini.WriteInteger("CONFIG", "PORT", 4));
  EXPECT_EQ(TIniFile(path).ReadString("CONFIG", "LONG", ""), huge);
  EXPECT_LT(memory.GrowthBytes(), HostileMemoryBound);
}

// Sections are found through a tree of names, not a walk through the file:
// reading, looking up and writing stay linear in the file.
TEST_F(IniHostile, AHundredThousandSectionsAreReadAndFound) {
  constexpr int Sections = 100000;
  const std::string path = Path("many.INI");
  WriteRepeated(path, 1, [](int64_t) {
    std::string text;
    for (int n = 0; n < Sections; ++n) text += "[Section " + std::to_string(n) + "]\r\nVALUE=" + std::to_string(n) + "\r\n";
    return text;
  });
  const TPeakMemory memory;
  const auto start = std::chrono::steady_clock::now();
  TIniFile ini(path);
  const auto read = std::chrono::steady_clock::now();
  int found = 0;
  for (int n = 0; n < Sections; n += 97) found += ini.ReadInteger("section " + std::to_string(n), "value", -1) == n;
  EXPECT_EQ(ini.ReadInteger("Section 99999", "VALUE", -1), 99999);
  const auto looked = std::chrono::steady_clock::now();
  ASSERT_TRUE(ini.WriteInteger("Section 0", "NEW", 1));         // a new key near the top
  ASSERT_TRUE(ini.WriteInteger("Section 50000", "VALUE", -2));  // in place
  ASSERT_TRUE(ini.WriteInteger("Appended", "KEY", 3));           // a new section at the end
  const auto written = std::chrono::steady_clock::now();
  TIniFile again(path);
  EXPECT_EQ(again.ReadInteger("Section 0", "NEW", 0), 1);
  EXPECT_EQ(again.ReadInteger("Section 50000", "VALUE", 0), -2);
  EXPECT_EQ(again.ReadInteger("Section 99999", "VALUE", 0), 99999);
  EXPECT_EQ(again.ReadInteger("Appended", "KEY", 0), 3);
  auto seconds = [](auto from, auto to) { return std::chrono::duration<double>(to - from).count(); };
  std::printf("[ figures  ] %d sections: read %.3f s, %d look-ups %.3f s, 3 writes %.3f s, peak memory +%.1f MiB\n",
              Sections, seconds(start, read), Sections / 97 + 1, seconds(read, looked), seconds(looked, written),
              static_cast<double>(memory.GrowthBytes()) / MiB);
  EXPECT_EQ(found, Sections / 97 + 1);
  EXPECT_LT(memory.GrowthBytes(), HostileMemoryBound);
}

}  // namespace
