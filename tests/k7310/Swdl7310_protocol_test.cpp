// The download channel's dialogue where the device's answers matter most,
// against the scripted device: how failures add up towards the restart, the
// exact bytes of a routed processor and of the final reboot with each of its
// failure branches, and the status the view is shown at every step.
#include <gtest/gtest.h>

#include <tuple>

#include "core/Model.h"
#include "tests/k7310/K7310host.h"
#include "tests/k7310/Scripteddevice.h"
#include "tests/k7310/Scriptedrun.h"
#include "tests/k7310/Testimage.h"
#include "tests/k7310/Tracebuilder.h"
#include "tests/support/Eventloop.h"

namespace {

using Bytes = std::vector<uint8_t>;

using K7310Protocol = ScriptedRun;

// RetryCount is reset only at its reset points (connect, acknowledged data
// write, matching read-back, end of a verification), so failures in different
// command groups between two of them, and in different blocks of one
// verification pass, add up: the sixth restarts the run.
struct AddedUpFailures {
  const char* Name;
  std::vector<std::pair<TReply, int>> Failing;  // kind and occurrence, each answered 0x1F
  std::string Log;
};

std::string Times(int n, const std::string& line) {
  std::string text;
  for (int i = 0; i < n; ++i) text += line;
  return text;
}

class RetryCountTest : public K7310Protocol, public ::testing::WithParamInterface<AddedUpFailures> {};

TEST_P(RetryCountTest, TheSixthFailureSinceTheLastResetPointRestartsTheRun) {
  for (const auto& [kind, occurrence] : GetParam().Failing)
    Device.Change(kind, occurrence, [](Bytes) { return Bytes{0x1F}; });
  TTestImage image;
  image.Fill(1, 0, 300, 21);  // blocks of 256 and 44 bytes
  const auto host = RunToEnd(image, ReadyText, 60000);
  ASSERT_TRUE(host);

  EXPECT_EQ(host->Host.Log(), GetParam().Log);
  EXPECT_EQ(Device.Count(TReply::Connect), 2) << "the sixth failure restarts the run from connect";
  EXPECT_TRUE(host->Saw("Retry"));
  EXPECT_EQ(Device.Memory(0, 300), image.Part(1));
}

INSTANTIATE_TEST_SUITE_P(
    Groups, RetryCountTest,
    ::testing::Values(
        // Three erase commands, then (page erased) three write commands of the first block.
        AddedUpFailures{"EraseThenWrite",
                        {{TReply::EraseCommand, 0}, {TReply::EraseCommand, 1}, {TReply::EraseCommand, 2},
                         {TReply::WriteCommand, 0}, {TReply::WriteCommand, 1}, {TReply::WriteCommand, 2}},
                        Times(3, "EraseMemComm: No Ack: 1f\r\n") + Times(3, "WrMemComm: No Ack: 1f\r\n")},
        // Read commands 0 and 1 are the two read-backs; the verification of
        // block 0 fails three times, then that of block 1 three times.
        AddedUpFailures{"VerificationBlocks",
                        {{TReply::ReadCommand, 2}, {TReply::ReadCommand, 3}, {TReply::ReadCommand, 4},
                         {TReply::ReadCommand, 6}, {TReply::ReadCommand, 7}, {TReply::ReadCommand, 8}},
                        Times(6, "VerRdMemComm: No Ack: 1f\r\n")}),
    [](const ::testing::TestParamInfo<AddedUpFailures>& p) { return p.param.Name; });

// The expected trace of a part behind the main processor: the route byte and
// its echo, then the dialogue of a main-processor part (connect with 0x7F
// through Go). Parts of at most 1024 bytes erase page 0 only, whatever the
// processor's page size.
std::vector<TTraceChunk> RoutedPartTrace(uint8_t routeByte, const std::vector<uint8_t>& part) {
  std::vector<TTraceChunk> trace;
  AppendTrace(trace, true, {routeByte});
  AppendTrace(trace, false, {routeByte});
  for (const TTraceChunk& chunk : MainPartTrace(part)) AppendTrace(trace, chunk.FromHost, chunk.Bytes);
  return trace;
}

TEST_F(K7310Protocol, ADisplayPartIsRoutedWithItsRouteByteAndEndsWithoutTheFinalReboot) {
  TTestImage image;
  image.Fill(2, 0, 40, 22);
  const auto host = RunToEnd(image, ReadyText, 30000);
  ASSERT_TRUE(host);

  EXPECT_EQ(Device.Trace(), RoutedPartTrace(0x11, image.Part(2)));
  EXPECT_EQ(Device.Memory(0, 40), image.Part(2));
  EXPECT_EQ(host->Host.Log(), "");
  // The run completed although its text is the one of a run never started.
  const CmRunStatus& status = host->Host.ModelPtr->SwDl.RunStatus();
  EXPECT_EQ(status.Phase, CmPhase::Done);
  EXPECT_EQ(status.CompletedRuns, 1);
}

// The final reboot after the Ethernet part: ESC, 0x1A, B O O T, 0x7F, Go.
// Each failure branch goes back to where the dialogue says: a wrong or
// missing answer to ESC sends ESC again; a wrong answer to the connect byte
// starts again from ESC, none sends 0x7F again; a Go command or address not
// acknowledged connects again with 0x7F (now answered 0x1F, in session).
struct FinalRebootCase {
  const char* Name;
  std::vector<std::pair<TReply, int>> Changed;  // occurrence 1 of Connect, GoCommand and GoAddress is the final one
  Bytes Answer;                                 // what the changed replies are (empty: no answer)
  std::vector<std::pair<bool, Bytes>> Final;    // the trace after the Ethernet part's Go
};

void PrintTo(const FinalRebootCase& c, std::ostream* out) { *out << c.Name; }
void PrintTo(const AddedUpFailures& c, std::ostream* out) { *out << c.Name; }

const Bytes Boot = {'B', 'O', 'O', 'T'};
const Bytes GoCommand = {0x21, 0xDE};
const Bytes GoAddress = {0x08, 0x00, 0x00, 0x00, 0x08};

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<FinalRebootCase> FinalRebootCases() {
  const bool H = true, D = false;
  const std::vector<std::pair<bool, Bytes>> go = {{H, GoCommand}, {D, {0x79}}, {H, GoAddress}, {D, {0x79}}};
  auto with = [](std::vector<std::pair<bool, Bytes>> head, const std::vector<std::pair<bool, Bytes>>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  return {
      {"AllAnswered", {}, {}, with({{H, {0x1B}}, {D, {0x1A}}, {H, Join(Boot, {0x7F})}, {D, {0x79}}}, go)},
      {"EscapeWrongAnswer", {{TReply::Escape, 0}}, {0x00},
       with({{H, {0x1B}}, {D, {0x00}}, {H, {0x1B}}, {D, {0x1A}}, {H, Join(Boot, {0x7F})}, {D, {0x79}}}, go)},
      {"EscapeNoAnswer", {{TReply::Escape, 0}}, {},
       with({{H, {0x1B, 0x1B}}, {D, {0x1A}}, {H, Join(Boot, {0x7F})}, {D, {0x79}}}, go)},
      {"ConnectWrongAnswer", {{TReply::Connect, 1}}, {0x00},
       with({{H, {0x1B}}, {D, {0x1A}}, {H, Join(Boot, {0x7F})}, {D, {0x00}},
             {H, {0x1B}}, {D, {0x1A}}, {H, Join(Boot, {0x7F})}, {D, {0x79}}},
            go)},
      {"ConnectNoAnswer", {{TReply::Connect, 1}}, {},
       with({{H, {0x1B}}, {D, {0x1A}}, {H, Join(Boot, {0x7F, 0x7F})}, {D, {0x79}}}, go)},
      {"GoCommandNotAcknowledged", {{TReply::GoCommand, 1}}, {0x1F},
       with({{H, {0x1B}}, {D, {0x1A}}, {H, Join(Boot, {0x7F})}, {D, {0x79}}, {H, GoCommand}, {D, {0x1F}},
             {H, {0x7F}}, {D, {0x1F}}},
            go)},
      {"GoAddressNotAcknowledged", {{TReply::GoAddress, 1}}, {0x1F},
       with({{H, {0x1B}}, {D, {0x1A}}, {H, Join(Boot, {0x7F})}, {D, {0x79}}, {H, GoCommand}, {D, {0x79}},
             {H, GoAddress}, {D, {0x1F}}, {H, {0x7F}}, {D, {0x1F}}},
            go)},
  };
}

class FinalRebootTest : public K7310Protocol, public ::testing::WithParamInterface<FinalRebootCase> {};

TEST_P(FinalRebootTest, TheEthernetPartEndsWithTheFinalRebootBytes) {
  const FinalRebootCase& c = GetParam();
  for (const auto& [kind, occurrence] : c.Changed) {
    const Bytes answer = c.Answer;
    Device.Change(kind, occurrence, [answer](Bytes) { return answer; });
  }
  TTestImage image;
  image.Fill(4, 0, 24, 23);
  const auto host = RunToEnd(image, DoneText, 30000);
  ASSERT_TRUE(host);

  std::vector<TTraceChunk> expected = RoutedPartTrace(0x13, image.Part(4));
  for (const auto& [fromHost, bytes] : c.Final) AppendTrace(expected, fromHost, bytes);
  EXPECT_EQ(Device.Trace(), expected);
  EXPECT_EQ(host->Host.Log(), "") << "the final reboot writes no log lines";
  EXPECT_EQ(host->Host.ModelPtr->SwDl.RunStatus().CompletedRuns, 1);
}

INSTANTIATE_TEST_SUITE_P(Branches, FinalRebootTest, ::testing::ValuesIn(FinalRebootCases()),
                         [](const ::testing::TestParamInfo<FinalRebootCase>& p) { return p.param.Name; });

// What the view is shown after each status hand-over: the three texts and the
// run status published with them, recorded once the hand-over is complete.
struct TShown {
  std::string State, Address, Unit;
  CmPhase Phase;
  int Part;
  int64_t Done, Total;
  bool operator==(const TShown&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TShown& s) {
  return out << '"' << s.State << "\" \"" << s.Address << "\" \"" << s.Unit << "\" " << PhaseName(s.Phase) << ' '
             << s.Part << ' ' << s.Done << '/' << s.Total;
}

class TStatusRecorder {
 public:
  explicit TStatusRecorder(TModel& model) : Model(model) {
    for (TAnsiString* text : {&Model.SwDl.StateText, &Model.SwDl.AddressText, &Model.SwDl.UnitText})
      Subscriptions.push_back({text, text->Subscribe(&TStatusRecorder::Changed, this)});
  }
  ~TStatusRecorder() {
    for (auto& [text, id] : Subscriptions) text->Unsubscribe(id);
  }
  std::vector<TShown> Seen;

 private:
  static void Changed(void* self) {
    auto* recorder = static_cast<TStatusRecorder*>(self);
    if (recorder->Pending) return;
    recorder->Pending = true;
    // The texts are set one after the other: look once the hand-over is over.
    TestHostLoop().Post([recorder] { recorder->Record(); });
  }
  void Record() {
    Pending = false;
    const TModelSwDl& s = Model.SwDl;
    const CmRunStatus& r = s.RunStatus();
    const TShown shown{s.StateText.Get(), s.AddressText.Get(), s.UnitText.Get(), r.Phase, r.Part, r.DoneUnits,
                       r.TotalUnits};
    if (Seen.empty() || !(Seen.back() == shown)) Seen.push_back(shown);
  }

  TModel& Model;
  bool Pending = false;
  std::vector<std::pair<TAnsiString*, int>> Subscriptions;
};

TEST_F(K7310Protocol, EachStepShowsItsTextOffsetAndProcessorWithTheRunStatus) {
  TTestImage image;
  image.Fill(2, 0, 300, 24);  // display: blocks at 0 and 256
  image.Fill(4, 0, 16, 25);   // Ethernet: one block, then the final reboot
  Device.Start();
  TK7310Host host(DevicePath);
  host.Load(image);
  ASSERT_TRUE(host.WaitForIdle(ReadyText, 10000));
  TStatusRecorder recorder(*host.Host.ModelPtr);
  host.StartDownload();
  ASSERT_TRUE(host.WaitForIdle(DoneText, 60000)) << host.Host.Log();
  RunFor(50);
  Device.Stop();

  using P = CmPhase;
  const int none = CmRunStatus::NoPart;
  const std::vector<TShown> expected = {
      {"Connecting", "", "Display", P::Connecting, 1, 0, 0},
      {"Downloading", "0", "Display", P::Transferring, 1, 0, 300},
      {"Downloading", "256", "Display", P::Transferring, 1, 256, 300},
      {"Verifying", "0", "Display", P::Verifying, 1, 0, 300},
      {"Verifying", "256", "Display", P::Verifying, 1, 256, 300},
      {"Re-booting device", "", "", P::Finishing, none, 0, 0},
      {"Connecting", "", "Ethernet", P::Connecting, 3, 0, 0},
      {"Downloading", "0", "Ethernet", P::Transferring, 3, 0, 16},
      {"Verifying", "0", "Ethernet", P::Verifying, 3, 0, 16},
      {"Re-booting device", "", "", P::Finishing, none, 0, 0},
      {"Final reboot: Connecting", "", "", P::Finishing, none, 0, 0},
      {"Final reboot", "", "", P::Finishing, none, 0, 0},
      {"Download done. Ready for new download", "", "", P::Done, none, 0, 0},
  };
  // The start may be shown as state 2 ("Retry") before its first step, or
  // not, depending on where the worker was when the command came.
  std::vector<TShown> seen = recorder.Seen;
  if (!seen.empty() && seen.front().State == "Retry") seen.erase(seen.begin());
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(host.Host.ModelPtr->SwDl.RunStatus().CompletedRuns, 1);
}

}  // namespace
