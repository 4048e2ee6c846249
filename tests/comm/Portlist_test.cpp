// Which COM ports are present: the COM names in the system's list of device
// names, and the overrides whose device exists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/Portlist.h"
#include "comm/Portmap.h"
#include "tests/support/Tempdir.h"

namespace {

TEST(Portlist, ComNumbersOfADeviceNameList) {
  struct Case {
    const char* Name;
    std::string List;  // NUL-separated, as the system returns it
    std::vector<int> Expected;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"sorted, each once", "COM3\0COM1\0CONIN$\0COM3\0\0"s, {1, 3}},
      {"any case, numbers above 9", "com12\0Com7\0\0"s, {7, 12}},
      {"names that only start like one", "COMX\0COM\0COM0\0COM1A\0LPT1\0COM-2\0\0"s, {}},
      {"empty list", "\0"s, {}},
      {"no final NUL", "COM5\0COM6"s, {5, 6}},
      {"stops at the empty name", "COM2\0\0COM4\0\0"s, {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ComNumbersInDeviceList(c.List.data(), c.List.size()), c.Expected);
  }
}

#ifndef _WIN32
// An override names any path; it is listed when the path exists, above the
// highest number asked for as well.
TEST(Portlist, OverridesAreListedWhenTheirDeviceExists) {
  TempDir dir;
  const std::string present = dir.Write("device", "");
  SetComOverrides({{200, present}, {201, dir.File("missing")}});
  const std::vector<TPresentPort> ports = PresentComPorts(0);
  SetComOverrides({});
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].Number, 200);
  EXPECT_EQ(ports[0].DevicePath, present);
}
#endif

}  // namespace
