// The simulated parameter device: its table file, read and write frames,
// the value field's edge cases, frames it must ignore, and its dump.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Rawhost.h"
#include "sim/Simparams.h"

namespace {

struct TableCase {
  const char* Text;
  bool Good;
  std::map<int, std::string> Table;
};

TEST(ParamsTable, LinesInEitherFormOrAReasonWhyNot) {
  const std::vector<TableCase> cases = {
      {"12=3\n7:1000\n", true, {{7, "1000"}, {12, "3"}}},
      {" 5 = abc def \r\n\n# comment\n", true, {{5, "abc def"}}},
      {"9=\n", true, {{9, ""}}},
      {"3=a:b\n", true, {{3, "a:b"}}},
      {"x=1\n", false, {}},
      {"70000=1\n", false, {}},
      {"-1=1\n", false, {}},
      {"12\n", false, {}},
      {"12 3=4\n", false, {}},
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.Text);
    std::map<int, std::string> table;
    std::string error;
    EXPECT_EQ(SimParams::ParseTable(c.Text, table, error), c.Good) << error;
    if (c.Good) {
      EXPECT_EQ(table, c.Table);
    } else {
      EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    }
  }
  EXPECT_EQ(SimParams::FormatTable({{12, "3"}, {7, "1000"}}), "7=1000\n12=3\n");
}

class ParamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    dir = fs::path(::testing::TempDir()) / "qmss-sim-params";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "table.txt") << "12=3\n7:1000\n300=ABCDEFG\n";
    SimOptions options;
    options.TableFile = (dir / "table.txt").string();
    sim = std::make_unique<SimParams>(options);
    std::string error;
    ASSERT_TRUE(sim->Start(error)) << error;
    host = std::make_unique<RawHost>(sim->SlavePath(), 9600);
  }
  std::vector<uint8_t> Request(uint8_t command, const std::vector<uint8_t>& data, int deadlineMs = 5000) {
    host->Write(HostFrame(command, data));
    return ReadHostFrame(*host, deadlineMs);
  }
  // The read answer's value field for a parameter number.
  std::vector<uint8_t> ReadValue(int number) {
    std::vector<uint8_t> frame = Request(0xD2, {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)});
    if (frame.size() != 14 || frame[3] != 0xD3) return {};
    return std::vector<uint8_t>(frame.begin() + 6, frame.begin() + 13);
  }
  static std::vector<uint8_t> Field(const std::string& text) {
    std::vector<uint8_t> field(text.begin(), text.end());
    field.resize(7, 0);
    return field;
  }

  std::filesystem::path dir;
  std::unique_ptr<SimParams> sim;
  std::unique_ptr<RawHost> host;
};

TEST_F(ParamsTest, ReadsAnswerFromTheTable) {
  std::vector<uint8_t> frame = Request(0xD2, {12, 0});
  EXPECT_EQ(frame, HostFrame(0xD3, {12, 0, '3', 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ReadValue(7), Field("1000"));
  EXPECT_EQ(ReadValue(300), Field("ABCDEFG"));  // seven characters, no terminator
  EXPECT_EQ(ReadValue(99), Field(""));           // unknown numbers read empty
}

TEST_F(ParamsTest, WritesChangeTheTableAndAreDumped) {
  std::vector<uint8_t> data{12, 0, '4', '2', 0, 0, 0, 0, 0};
  EXPECT_EQ(Request(0xD0, data), HostFrame(0xD1, {12, 0, 0}));
  EXPECT_EQ(ReadValue(12), Field("42"));

  std::vector<uint8_t> full{0x2C, 0x01, 'L', 'O', 'N', 'G', 'V', 'A', 'L'};  // 300, 7 characters
  EXPECT_EQ(Request(0xD0, full).size(), 8u);
  EXPECT_EQ(sim->Table().at(300), "LONGVAL");
  std::vector<uint8_t> trailing{5, 0, 'a', 0, 'z', 'z', 0, 0, 0};  // bytes after the zero do not count
  EXPECT_EQ(Request(0xD0, trailing).size(), 8u);
  EXPECT_EQ(sim->Table().at(5), "a");

  std::vector<SimParamAccess> accesses = sim->Accesses();
  ASSERT_EQ(accesses.size(), 4u);
  EXPECT_TRUE(accesses[0].Write);
  EXPECT_EQ(accesses[1].Number, 12);
  EXPECT_EQ(accesses[1].Value, "42");

  sim->Stop();
  std::string error;
  ASSERT_TRUE(sim->Dump((dir / "out").string(), error)) << error;
  std::ifstream in(dir / "out" / "params.txt");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "5=a\n7=1000\n12=42\n300=LONGVAL\n");
}

TEST_F(ParamsTest, FramesTheDeviceMustIgnore) {
  std::vector<uint8_t> badCheck = HostFrame(0xD2, {12, 0});
  badCheck.back() ^= 0x01;
  std::vector<uint8_t> otherAddress = HostFrame(0xD2, {12, 0});
  otherAddress[2] = 0xD1;
  otherAddress.back() ^= 0xD0 ^ 0xD1;
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"wrong check byte", badCheck},
      {"other address", otherAddress},
      {"read with one data byte", HostFrame(0xD2, {12})},
      {"write with eight data bytes", HostFrame(0xD0, {12, 0, '1', 0, 0, 0, 0, 0})},
      {"unknown command", HostFrame(0xD4, {12, 0})},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    host->Write(bytes);
    EXPECT_TRUE(ReadHostFrame(*host, 200).empty());
  }
  EXPECT_EQ(sim->BadFrames(), 2);
  EXPECT_EQ(sim->Table().at(12), "3");
  // Noise, then a frame written in pieces: still understood.
  host->Write({0x55, 0xFF, 0x00});
  std::vector<uint8_t> frame = HostFrame(0xD2, {7, 0});
  host->Write(std::vector<uint8_t>(frame.begin(), frame.begin() + 3));
  host->Write(std::vector<uint8_t>(frame.begin() + 3, frame.end()));
  EXPECT_EQ(ReadHostFrame(*host), HostFrame(0xD3, {7, 0, '1', '0', '0', '0', 0, 0, 0}));
}

TEST_F(ParamsTest, AFrameThatStopsHalfWayIsGivenUp) {
  std::vector<uint8_t> frame = HostFrame(0xD2, {12, 0});
  host->Write(std::vector<uint8_t>(frame.begin(), frame.begin() + 4));
  EXPECT_TRUE(WaitFor([&] { return sim->AbandonedFrames() == 1; }));
  EXPECT_EQ(ReadValue(12), Field("3"));
}

TEST(ParamsStart, AMalformedTableFileStopsTheStart) {
  namespace fs = std::filesystem;
  fs::path file = fs::path(::testing::TempDir()) / "qmss-sim-bad-table.txt";
  std::ofstream(file) << "1=2\nnonsense\n";
  SimOptions options;
  options.TableFile = file.string();
  SimParams sim(options);
  std::string error;
  EXPECT_FALSE(sim.Start(error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  options.TableFile = (fs::path(::testing::TempDir()) / "qmss-sim-no-such-table.txt").string();
  SimParams missing(options);
  EXPECT_FALSE(missing.Start(error));
}

}  // namespace
