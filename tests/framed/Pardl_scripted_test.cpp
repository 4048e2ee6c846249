// The parameter download against the scripted framed device on a fake
// clock: the exact frames of a run, and lost and late answers against the
// 1000 ms reply time. Runs through the model and the worker thread.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/framed/Framedrun.h"
#include "tests/framed/Frames.h"
#include "tests/framed/Simhelpers.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

constexpr int ParameterDownload = 3;  // "Parameters from PC to device"
constexpr const char* Ready = "Ready for transfer to device";
const char* const Header = "\nNo.  Previous    File        New\r\n";

// The number, LSB first, and the 7-byte value field.
Bytes NumberAndField(int number, const std::string& value) {
  Bytes data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
  for (size_t i = 0; i < 7; ++i) data.push_back(i < value.size() ? static_cast<uint8_t>(value[i]) : 0);
  return data;
}

class ParDlScripted : public FramedRun {
 protected:
  void Load(const std::string& parameterFile) { Begin(ParameterDownload, "params.txt", parameterFile, Ready); }

  void RunToEnd() {
    Host.PressStart();
    ASSERT_TRUE(RunUntil([&] { return Host.State() == 1 && Host.StateText() == Ready; }, 20000))
        << "the run did not end; status " << Host.StateText();
  }
};

TEST_F(ParDlScripted, RunGivesTheExactFrames) {
  Device.SetParameter(5, "7");
  Load("Par.5:Filter :1000\r\n12:3\r\n");
  RunToEnd();

  auto host = [](uint8_t command, const Bytes& data) { return TTraceFrame{true, MakeFrame(command, data)}; };
  auto device = [](uint8_t command, const Bytes& data) { return TTraceFrame{false, MakeFrame(command, data)}; };
  // Read the value the device holds, write the file's, read it back; a
  // number the device does not hold reads as the empty value.
  const std::vector<TTraceFrame> expected = {
      host(0xD2, {5, 0}),                     device(0xD3, NumberAndField(5, "7")),
      host(0xD0, NumberAndField(5, "1000")),  device(0xD1, {5, 0, 0}),
      host(0xD2, {5, 0}),                     device(0xD3, NumberAndField(5, "1000")),
      host(0xD2, {12, 0}),                    device(0xD3, NumberAndField(12, "")),
      host(0xD0, NumberAndField(12, "3")),    device(0xD1, {12, 0, 0}),
      host(0xD2, {12, 0}),                    device(0xD3, NumberAndField(12, "3")),
  };
  EXPECT_EQ(TraceOf(Device.Records()), expected);
  EXPECT_EQ(Device.RatesSet(), std::vector<int32_t>{115200});
  EXPECT_EQ(Device.Parameters(), (std::map<int, std::string>{{5, "1000"}, {12, "3"}}));
  EXPECT_EQ(Host.Log(), std::string(Header) +
                            "  5  7           1000        1000      \r\n"
                            " 12              3           3         \r\n");
}

// A request whose answer is lost, or comes after the reply time, goes out
// again, byte for byte, once 1000 ms have passed after it left the line; the
// status counts the attempt. An answer that comes before, however late, is
// taken. A resend adds nothing to the log or the result lists.
struct ParDlAnswer {
  const char* Name;
  uint8_t Command;
  int Occurrence;  // of that command in the run
  bool Lost;
  std::chrono::milliseconds Delay;
  const char* AttemptText;  // the status of the resend; null when none
};

class ParDlAnswerTiming : public ParDlScripted, public ::testing::WithParamInterface<ParDlAnswer> {};

TEST_P(ParDlAnswerTiming, RequestIsResentOnlyAfterTheReplyTime) {
  const ParDlAnswer& a = GetParam();
  if (a.Lost)
    Device.LoseAnswer(a.Command, a.Occurrence);
  else
    Device.DelayAnswer(a.Command, a.Occurrence, a.Delay);
  Device.SetParameter(12, "1");
  Load("12:3\n");
  TextRecorder status(Host.ModelPtr->SwDl.StateText);
  RunToEnd();

  const std::vector<TLineRecord> writes = HostWrites();
  std::vector<size_t> repeats;
  for (size_t i = 1; i < writes.size(); ++i)
    if (writes[i].Bytes == writes[i - 1].Bytes) repeats.push_back(i);
  if (a.AttemptText) {
    ASSERT_EQ(repeats.size(), 1u);
    const TLineRecord& first = writes[repeats[0] - 1];
    const TLineRecord& again = writes[repeats[0]];
    EXPECT_EQ(first.Bytes[3], a.Command);
    EXPECT_GE(Millis(again.First - first.Last), 1000ms);
    EXPECT_LT(Millis(again.First - first.Last), 1020ms);
    EXPECT_TRUE(status.Saw(a.AttemptText));
  } else {
    EXPECT_EQ(repeats.size(), 0u);
  }
  EXPECT_EQ(writes.size(), 3u + repeats.size());
  for (const std::string& text : status.Seen()) EXPECT_EQ(text.find("Attempt 3"), std::string::npos) << text;

  EXPECT_EQ(Host.Log(), std::string(Header) + " 12  1           3           3         \r\n");
  const TParameterResults results = Host.ModelPtr->SwDl.TakeParameterResults();
  EXPECT_EQ(results.ParNumbers, std::vector<std::string>{"12"});
  EXPECT_EQ(results.PreviousValues, std::vector<std::string>{"1"});
  EXPECT_EQ(results.NewValues, std::vector<std::string>{"3"});
  EXPECT_EQ(Device.Parameters().at(12), "3");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ParDlAnswerTiming,
    ::testing::Values(
        ParDlAnswer{"ReadLost", Request::ParameterRead, 0, true, 0ms, "Parameter 12 read. Attempt 2"},
        ParDlAnswer{"WriteLost", Request::ParameterWrite, 0, true, 0ms, "Parameter 12 send. Attempt 2"},
        ParDlAnswer{"ReadBackLost", Request::ParameterRead, 1, true, 0ms, "Parameter 12 read. Attempt 2"},
        ParDlAnswer{"WriteAfter990ms", Request::ParameterWrite, 0, false, 990ms, nullptr},
        ParDlAnswer{"WriteAfter1010ms", Request::ParameterWrite, 0, false, 1010ms, "Parameter 12 send. Attempt 2"}),
    [](const ::testing::TestParamInfo<ParDlAnswer>& p) { return p.param.Name; });

}  // namespace
