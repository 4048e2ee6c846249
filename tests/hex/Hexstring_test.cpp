#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hex/Hexfile.h"

namespace {

struct HexValueCase {
  const char* Line;
  int First;
  int Last;
  int32_t Expected;
};

TEST(HexStringTest, HexValueReadsFieldsByPosition) {
  const std::vector<HexValueCase> cases = {
      {":10010000", 2, 3, 0x10},
      {":10010000", 4, 7, 0x0100},
      {":1a0b0c0d", 2, 9, 0x1A0B0C0D},          // lower case reads as upper case
      {":0400000508000000EF", 10, 17, 0x08000000},
      {":10010000", 1, 9, 0},                   // nine digits: too long
      {":10010000", 5, 4, 0},                   // empty field
      {":1", 2, 3, 0x10},                       // past the end reads as 0
      {":1G", 2, 3, 0x10},                      // a non-hex character reads as 0
      {"", 2, 9, 0},
      {":FFFFFFFF", 2, 9, -1},                  // eight digits fill all 32 bits
      {":80000000", 2, 9, INT32_MIN},
      {":1", 0, 2, 1},                          // positions before the start read as 0
  };
  for (const auto& c : cases)
    EXPECT_EQ(HexString(c.Line).HexValue(c.First, c.Last), c.Expected)
        << c.Line << " (" << c.First << ", " << c.Last << ")";
}

struct SetHexValueCase {
  const char* Line;
  int First;
  int Last;
  int32_t Value;
  const char* Expected;
};

TEST(HexStringTest, SetHexValueReplacesFieldWithUpperCaseDigits) {
  const std::vector<SetHexValueCase> cases = {
      {":020000040800F2", 10, 13, 0x0808, ":020000040808F2"},
      {":020000040800f2", 14, 15, 0xea, ":020000040800EA"},
      {":0400000508000000EF", 10, 17, -1, ":04000005FFFFFFFFEF"},
      {":00", 2, 3, 0x1FF, ":1FF"},                       // too wide: the line grows
      {":0200000408", 10, 13, 0x0809, ":020000040809"},   // field runs past the end
      {":02", 10, 13, 0x0808, ":020000000808"},          // short line: padded, not glued on
  };
  for (const auto& c : cases) {
    HexString s(c.Line);
    s.SetHexValue(c.First, c.Last, c.Value);
    EXPECT_EQ(s.Text(), c.Expected) << c.Line;
  }
}

}  // namespace
