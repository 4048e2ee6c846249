// The simulated parameter stream: line ends, lines from a file, repeats and
// the endless hostile line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Rawhost.h"
#include "sim/Simstream.h"

namespace {

std::string Joined(const std::vector<std::string>& lines, const std::string& end, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) {
    for (const std::string& line : lines) out += line + end;
  }
  return out;
}

// Starts a stream, collects what it sends until it has finished.
std::string Collect(const SimOptions& options, SimStream*& keep, std::unique_ptr<SimStream>& owner) {
  owner = std::make_unique<SimStream>(options);
  keep = owner.get();
  std::string error;
  EXPECT_TRUE(owner->Start(error)) << error;
  RawHost host(owner->SlavePath(), 9600);
  std::string text;
  WaitFor([&] {
    std::vector<uint8_t> bytes = host.Read(4096, 20);
    text.append(bytes.begin(), bytes.end());
    return owner->Finished() && bytes.empty();
  });
  return text;
}

struct EndCase {
  const char* Name;
  bool CrLf;
  std::string End;
};

class StreamEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(StreamEnds, SampleLinesWithTheChosenEnd) {
  SimOptions options;
  options.CrLf = GetParam().CrLf;
  options.IntervalMs = 1;
  options.Repeat = 2;
  SimStream* sim = nullptr;
  std::unique_ptr<SimStream> owner;
  std::string text = Collect(options, sim, owner);
  EXPECT_EQ(text, Joined(SimStream::SampleLines(), GetParam().End, 2));
  EXPECT_EQ(sim->LinesSent(), 2 * static_cast<int>(SimStream::SampleLines().size()));
  std::vector<uint8_t> sent = sim->Sent();
  EXPECT_EQ(std::string(sent.begin(), sent.end()), text);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, StreamEnds,
                         ::testing::Values(EndCase{"CrLf", true, "\r\n"}, EndCase{"Lf", false, "\n"}),
                         [](const ::testing::TestParamInfo<EndCase>& p) { return std::string(p.param.Name); });

TEST(Stream, SampleHoldsRealisticParameterLines) {
  std::vector<std::string> lines = SimStream::SampleLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Par.12: Zero tracking :3"), lines.end());
}

TEST(Stream, LinesFromAFileThenALineWithoutEnd) {
  namespace fs = std::filesystem;
  fs::path file = fs::path(::testing::TempDir()) / "qmss-sim-stream.txt";
  std::ofstream(file, std::ios::binary) << "Par.1: A :1\r\nPar.2: B :2\n\nlast";
  SimOptions options;
  options.StreamFile = file.string();
  options.IntervalMs = 1;
  options.CrLf = false;
  options.LongLine = 300;
  SimStream* sim = nullptr;
  std::unique_ptr<SimStream> owner;
  std::string text = Collect(options, sim, owner);
  EXPECT_EQ(sim->Lines(), (std::vector<std::string>{"Par.1: A :1", "Par.2: B :2", "", "last"}));
  std::string head = "Par.1: A :1\nPar.2: B :2\n\nlast\n";
  ASSERT_EQ(text.size(), head.size() + 300);
  EXPECT_EQ(text.substr(0, head.size()), head);
  std::string tail = text.substr(head.size());
  EXPECT_EQ(tail.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(tail.substr(0, 3), "ABC");
}

TEST(Stream, AMissingFileStopsTheStart) {
  SimOptions options;
  options.StreamFile = (std::filesystem::path(::testing::TempDir()) / "qmss-sim-no-such-stream.txt").string();
  SimStream sim(options);
  std::string error;
  EXPECT_FALSE(sim.Start(error));
  EXPECT_NE(error.find("qmss-sim-no-such-stream.txt"), std::string::npos);
}

}  // namespace
