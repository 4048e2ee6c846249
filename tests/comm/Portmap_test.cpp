// COM names, the fixed COM-number table and the "PORTS" overrides.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "files/Inifile.h"
#include "comm/Portmap.h"
#include "comm/Termiosport.h"
#include "tests/support/Pty.h"

namespace {

// Every test starts and ends without overrides: they are process-wide.
class PortmapTest : public ::testing::Test {
 protected:
  void SetUp() override { SetComOverrides({}); }
  void TearDown() override {
    SetComOverrides({});
    std::error_code ignored;
    std::filesystem::remove(IniPath, ignored);
  }

  std::string WriteIni(const std::string& text) {
    IniPath = (std::filesystem::temp_directory_path() /
               ("qmss-portmap-" + std::to_string(::getpid()) + ".INI"))
                  .string();
    std::ofstream(IniPath, std::ios::binary) << text;
    return IniPath;
  }

  std::string IniPath;
};

TEST_F(PortmapTest, FixedTableMapsEachRangeAndNothingElse) {
  struct Case {
    int Number;
    const char* Path;
  };
  const std::vector<Case> cases = {
      {1, "/dev/ttyS0"},    {32, "/dev/ttyS31"},   {33, "/dev/ttyUSB0"}, {64, "/dev/ttyUSB31"},
      {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}, {0, ""},              {97, ""},
      {-1, ""},             {255, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ComDevicePath(c.Number), c.Path) << "COM" << c.Number;
}

TEST(Portmap, ComNameAndComNumber) {
  EXPECT_EQ(ComName(1), "COM1");
  EXPECT_EQ(ComName(10), "COM10");
  struct Case {
    const char* Name;
    int Number;
  };
  const std::vector<Case> cases = {
      {"COM7", 7},   {"com7", 7},   {"Com12", 12}, {"COM255", 255}, {"COM10", 10},
      {"COM0", 0},   {"COM", 0},    {"COMx", 0},   {"COM7x", 0},    {"COM-3", 0},
      {"COM+3", 0},  {" COM3", 0},  {"COM 3", 0},  {"LPT1", 0},     {"", 0},
      {"None", 0},   {"COM99999999999", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ComNumber(c.Name), c.Number) << '"' << c.Name << '"';
}

TEST_F(PortmapTest, IniOverrideNamesAPortThatThenOpens) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  WriteIni("[CONFIG]\r\nPORT=7\r\n"
           "[PORTS]\r\n"
           "com7=" + pty.SlavePath() + "\r\n"
           "COM40=/dev/serial/by-id/usb-scale-if00\r\n"
           "LPT1=/dev/lp0\r\n"
           "COM0=/dev/ttyS9\r\n"
           "COM9=\r\n"
           "[LCDATA]\r\nCOM8=/dev/ttyS3\r\n");
  TIniFile ini(IniPath);
  const std::map<int, std::string> overrides = ReadComOverrides(ini);
  const std::map<int, std::string> expected = {
      {7, pty.SlavePath()}, {40, "/dev/serial/by-id/usb-scale-if00"}};
  EXPECT_EQ(overrides, expected);

  SetComOverrides(overrides);
  EXPECT_EQ(ComOverrides(), expected);
  EXPECT_EQ(ComDevicePath(7), pty.SlavePath());
  EXPECT_EQ(ComDevicePath(40), "/dev/serial/by-id/usb-scale-if00");
  EXPECT_EQ(ComDevicePath(8), "/dev/ttyS7") << "numbers without an override keep the table";
  EXPECT_TRUE(ComPortOpens(7));
  EXPECT_TRUE(ComPortOpens(7)) << "the probe must close the port again";
  EXPECT_FALSE(ComPortOpens(40)) << "a device that does not exist does not open";
}

TEST_F(PortmapTest, PortHeldOpenIsNotOffered) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  SetComOverrides({{3, pty.SlavePath()}});
  TTermiosPort holder;
  ASSERT_TRUE(holder.Open(ComDevicePath(3)));
  EXPECT_FALSE(ComPortOpens(3));
  holder.Close();
  EXPECT_TRUE(ComPortOpens(3));
}

TEST_F(PortmapTest, NumberWithoutDeviceDoesNotOpen) {
  EXPECT_FALSE(ComPortOpens(0));
  EXPECT_FALSE(ComPortOpens(200));
  SetComOverrides({{5, "/dev/qmss-no-such-port"}});
  EXPECT_FALSE(ComPortOpens(5));
}

}  // namespace
