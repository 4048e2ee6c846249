// The parameter download against the simulated parameter device over a
// pseudo-terminal, through the model, the controller and the worker thread.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/Modelswdl.h"
#include "sim/Simparams.h"
#include "tests/support/Channelhost.h"
#include "tests/framed/Frames.h"
#include "tests/framed/Simhelpers.h"

namespace {

constexpr int ParameterDownload = 3;  // "Parameters from PC to device"
constexpr const char* Ready = "Ready for transfer to device";

class ParDlTest : public ::testing::Test {
 protected:
  // Starts the device with its table and the channel with the parameter file
  // loaded, ready for a run.
  void Begin(const std::string& table, const std::string& parameterFile, SimOptions options = {}) {
    options.TableFile = WriteTextFile(Host.Folder() + "/table.txt", table);
    Device = StartDevice<SimParams>(SimKind::Params, options);
    ASSERT_TRUE(Device);
    Host.StartOn(ParameterDownload, Device->SlavePath(), 115200);
    ASSERT_TRUE(Host.WaitForText("No file opened for transfer to device"));
    Host.LoadFile(WriteTextFile(Host.Folder() + "/params.txt", parameterFile));
    ASSERT_TRUE(Host.WaitForText(Ready));
  }

  // One run from the start button to the ready state.
  void Run(int timeoutMs = 20000) {
    Host.PressStart();  // state 2 at once; back in 1 when the run has ended
    ASSERT_TRUE(RunUntil([&] { return Host.State() == 1 && Host.StateText() == Ready; }, timeoutMs))
        << "the run did not end; status " << Host.StateText();
  }

  std::vector<int> NumbersAccessed() const {
    std::vector<int> numbers;
    for (const SimParamAccess& a : Device->Accesses()) numbers.push_back(a.Number);
    return numbers;
  }

  ChannelHost Host;
  // The worker ends before the host goes: it may still log (a device
  // stopped by the test hangs up) while the host's destructors run.
  void TearDown() override { Host.Shutdown(); }
  std::unique_ptr<SimParams> Device;
};

const char* const Header = "\nNo.  Previous    File        New\r\n";

TEST_F(ParDlTest, ReadsWritesAndReadsBackEveryParameterAndLogsTheTable) {
  Begin("5=7\n12=1\n20=old\n",
        "Parameters of scale 4711\r\n"
        "Par.5:Filter :1000\r\n"
        "Par.12: Zero tracking :3\r\n"
        "\r\n"
        "20 : 4.5\r\n");
  Run();

  // Read the old value, write the file's, read back: for each, in file order.
  const std::vector<SimParamAccess> accesses = Device->Accesses();
  ASSERT_EQ(accesses.size(), 9u);
  const int numbers[3] = {5, 12, 20};
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(accesses[3 * i].Write);
    EXPECT_TRUE(accesses[3 * i + 1].Write);
    EXPECT_FALSE(accesses[3 * i + 2].Write);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(accesses[3 * i + k].Number, numbers[i]);
  }
  EXPECT_EQ(Device->Table(), (std::map<int, std::string>{{5, "1000"}, {12, "3"}, {20, "4.5"}}));

  EXPECT_EQ(Host.Log(), std::string(Header) +
                            "  5  7           1000        1000      \r\n"
                            " 12  1           3           3         \r\n"
                            " 20  old         4.5         4.5       \r\n");

  const TParameterResults results = Host.ModelPtr->SwDl.TakeParameterResults();
  EXPECT_EQ(results.ParNumbers, (std::vector<std::string>{"5", "12", "20"}));
  EXPECT_EQ(results.PreviousValues, (std::vector<std::string>{"7", "1", "old"}));
  EXPECT_EQ(results.NewValues, (std::vector<std::string>{"1000", "3", "4.5"}));
  EXPECT_TRUE(Host.ModelPtr->SwDl.ParameterTableChanged);
}

TEST_F(ParDlTest, ValueFieldOfSevenCharactersAndALongerValue) {
  Begin("1=a\n2=b\n3=c\n", "1:1234567\n2:123456789\n3:ab\n");
  Run();
  std::vector<std::vector<uint8_t>> fields;
  for (const WireFrame& f : SplitFrames(Device->Received()))
    if (f.Command == 0xD0) fields.emplace_back(f.Data.begin() + 2, f.Data.end());
  ASSERT_EQ(fields.size(), 3u);
  // Seven characters fill the field without a terminator; a longer value is
  // cut to seven on the wire; a shorter one ends with a zero.
  EXPECT_EQ(fields[0], (std::vector<uint8_t>{'1', '2', '3', '4', '5', '6', '7'}));
  EXPECT_EQ(fields[1], (std::vector<uint8_t>{'1', '2', '3', '4', '5', '6', '7'}));
  EXPECT_EQ(fields[2], (std::vector<uint8_t>{'a', 'b', 0, 0, 0, 0, 0}));
  EXPECT_EQ(Device->Table(), (std::map<int, std::string>{{1, "1234567"}, {2, "1234567"}, {3, "ab"}}));
  // The log shows the whole file value.
  EXPECT_NE(Host.Log().find("  2  b           123456789   1234567   \r\n"), std::string::npos) << Host.Log();
}

TEST_F(ParDlTest, SendsOnlyNumbersAboveTheLastOneAndNoneAbove65535) {
  const std::string file = "5:a\n3:b\n70000:c\n7:d\n";
  Begin("", file);
  Run();
  // 3 is not above 5; 70000 would go out as 4464 and write another parameter.
  EXPECT_EQ(NumbersAccessed(), (std::vector<int>{5, 5, 5, 7, 7, 7}));
  EXPECT_EQ(Device->Table(), (std::map<int, std::string>{{5, "a"}, {7, "d"}}));
  EXPECT_EQ(OversizedParameterLines(Host.ModelPtr->SwDl.DataLines()), std::vector<int>{3});
  EXPECT_EQ(Host.Log(), std::string(Header) + "  5              a           a         \r\n"
                                              "  7              d           d         \r\n");
}

TEST_F(ParDlTest, ListWithoutParameterLinesWritesTheHeaderOnly) {
  Begin("", "no parameter here\n0:5\n");
  Host.PressStart();
  ASSERT_TRUE(RunUntil([&] { return !Host.Log().empty(); }));
  ASSERT_TRUE(Host.WaitForState(1));
  RunFor(100);
  EXPECT_EQ(Host.Log(), Header);
  EXPECT_TRUE(Device->Received().empty());
}

TEST_F(ParDlTest, TimedOutRequestsAreResentAndCountedInTheStatus) {
  SimOptions options;
  options.Fault(SimFault::Drop) = {1.0, 2};  // the first two answers are lost
  Begin("12=1\n", "12:3\n", options);
  TextRecorder texts(Host.ModelPtr->SwDl.StateText);
  Run();
  EXPECT_TRUE(texts.Saw("Parameter 12 read."));
  EXPECT_TRUE(texts.Saw("Parameter 12 read. Attempt 2"));
  EXPECT_TRUE(texts.Saw("Parameter 12 read. Attempt 3"));
  EXPECT_FALSE(texts.Saw("Parameter 12 read. Attempt 4"));
  EXPECT_TRUE(texts.Saw("Parameter 12 send."));
  // A resent request adds nothing to the log or the lists.
  EXPECT_EQ(Host.Log(), std::string(Header) + " 12  1           3           3         \r\n");
  const TParameterResults results = Host.ModelPtr->SwDl.TakeParameterResults();
  EXPECT_EQ(results.ParNumbers, std::vector<std::string>{"12"});
  EXPECT_EQ(results.PreviousValues, std::vector<std::string>{"1"});
  EXPECT_EQ(results.NewValues, std::vector<std::string>{"3"});
  EXPECT_EQ(Device->Table().at(12), "3");
}

struct FaultCase {
  const char* Name;
  SimFault Fault;
  SimFaultSetting Setting;
  uint64_t Seed;
};

class ParDlFaultTest : public ParDlTest, public ::testing::WithParamInterface<FaultCase> {};

// Noise before answers, damaged check bytes (dropped, then resent after the
// time-out) and answers split over several writes: every value arrives.
TEST_P(ParDlFaultTest, EveryParameterArrivesDespiteTheFault) {
  SimOptions options;
  options.Seed = GetParam().Seed;
  options.Fault(GetParam().Fault) = GetParam().Setting;
  Begin("1=x\n2=y\n3=z\n", "1:10\n2:20\n3:30\n", options);
  Run(30000);
  EXPECT_GT(Device->FaultCount(GetParam().Fault), 0);
  EXPECT_EQ(Device->Table(), (std::map<int, std::string>{{1, "10"}, {2, "20"}, {3, "30"}}));
  EXPECT_EQ(Host.Log(), std::string(Header) +
                            "  1  x           10          10        \r\n"
                            "  2  y           20          20        \r\n"
                            "  3  z           30          30        \r\n");
  EXPECT_EQ(Host.ModelPtr->SwDl.TakeParameterResults().NewValues,
            (std::vector<std::string>{"10", "20", "30"}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ParDlFaultTest,
    ::testing::Values(FaultCase{"Noise", SimFault::Noise, {0.5, -1}, 3},
                      FaultCase{"WrongCheckByte", SimFault::Corrupt, {0.3, 2}, 5},
                      FaultCase{"Split", SimFault::Split, {0.7, -1}, 7}),
    [](const ::testing::TestParamInfo<FaultCase>& p) { return p.param.Name; });

TEST_F(ParDlTest, AbortStopsAtOnceAndTheNextRunStartsWithEmptyLists) {
  SimOptions options;
  options.Fault(SimFault::Drop) = {1.0, 1};  // the first answer is lost
  Begin("5=1\n6=2\n", "5:50\n6:60\n", options);
  Host.PressStart();
  ASSERT_TRUE(Host.WaitForState(5));
  Host.PressAbort();
  EXPECT_EQ(Host.State(), 1);
  ASSERT_TRUE(Host.WaitForText(Ready));

  // The stopped run left half a row ("5" without its new value) behind.
  Run();
  const TParameterResults results = Host.ModelPtr->SwDl.TakeParameterResults();
  EXPECT_EQ(results.ParNumbers, (std::vector<std::string>{"5", "6"}));
  EXPECT_EQ(results.PreviousValues, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(results.NewValues, (std::vector<std::string>{"50", "60"}));
  EXPECT_EQ(Device->Table(), (std::map<int, std::string>{{5, "50"}, {6, "60"}}));
}

TEST(ParDl, PortThatDoesNotOpenShowsError) {
  ChannelHost host;
  host.StartOn(ParameterDownload, "", 9600);
  ASSERT_TRUE(RunUntil([&] { return host.StateText().rfind("Error! COM250 names no serial port.", 0) == 0; }))
      << host.StateText();
  EXPECT_EQ(host.State(), 3);
  EXPECT_EQ(host.ErrorHeads(), std::vector<std::string>{"Communication: Invalid Handle"});
}

}  // namespace
