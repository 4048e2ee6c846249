// The model: its INI keys, the commands Start and Abort send per kind, the
// reply timer, and the channel's own copy of the line settings.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "files/Inifile.h"
#include "comm/Commthrd.h"
#include "tests/core/Probechannel.h"
#include "tests/support/Eventloop.h"
#include "tests/support/Testhost.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ModelIni, OperationNameMustMatchExactly) {
  struct Case {
    const char* value;
    int id;
  };
  for (const Case& c : {Case{"Parameters from PC to device", 3},
                        Case{"parameters from pc to device", 0},
                        Case{"Software Download - TRX5170L", 2},
                        Case{"", 0},
                        Case{"Nonsense", 0}}) {
    TTestHost host;
    host.WriteIni(std::string("[CONFIG]\r\nOPERATION=") + c.value + "\r\n");
    TModel model(host, false);
    EXPECT_EQ(model.SwDl.GetOperation(), c.id) << c.value;
  }
}

TEST(ModelIni, LineSettingsDefaultToTwelveHundredEvenAndAreWrittenAtExit) {
  TTestHost host;
  host.WriteIni("[Parameters from PC to device]\r\nBAUDRATE=0x2580\r\nPARITY=None\r\n");
  {
    TModel model(host);
    model.SwDl.SetOperation(3);
    EXPECT_EQ(model.SwDl.GetBaudRate(), 9600);
    EXPECT_EQ(model.SwDl.GetParity(), 'N');
    model.SwDl.SetOperation(1);
    EXPECT_EQ(model.SwDl.GetBaudRate(), 1200);
    EXPECT_EQ(model.SwDl.GetParity(), 'E');
    model.SwDl.SetOperation(0);  // no line settings
    EXPECT_EQ(model.SwDl.GetBaudRate(), 1200);
    EXPECT_EQ(model.SwDl.GetParity(), 'N');
    model.SwDl.SetBaudRate(57600);  // does nothing for operation 0
    model.SwDl.SetOperation(2);
  }
  const TIniFile ini(host.IniFileName());
  EXPECT_EQ(ini.ReadString("CONFIG", "OPERATION", "?"), "Software Download - TRX5170L");
  EXPECT_EQ(ini.ReadInteger("Software Download - K7310", "BAUDRATE", 0), 1200);
  EXPECT_EQ(ini.ReadString("Software Download - K7310", "PARITY", "?"), "E");
  EXPECT_EQ(ini.ReadInteger("Parameters from PC to device", "BAUDRATE", 0), 9600);
  EXPECT_EQ(ini.ReadString("Parameters from PC to device", "PARITY", "?"), "N");
}

TEST(ModelIni, FreshFileHoldsTheSectionsInTableOrder) {
  TTestHost host;
  { TModel model(host); }
  const std::string text = ReadFile(host.IniFileName());
  size_t last = 0;
  for (const char* section :
       {"[CONFIG]", "[Software Download - K7310]", "[Software Download - TRX5170L]",
        "[Parameters from PC to device]", "[Parameters from device to PC - TEST]",
        "[Parameters from device to PC - DOWNLOAD]"}) {
    const size_t at = text.find(section);
    ASSERT_NE(at, std::string::npos) << section;
    EXPECT_GT(at + 1, last) << section;
    last = at;
  }
  EXPECT_EQ(text.find("[None]"), std::string::npos);
  EXPECT_LT(text.find("BAUDRATE"), text.find("PARITY"));
}

TEST(ModelIni, CommandLineModelNeverWritesTheIni) {
  TTestHost host;
  { TModel model(host, false); }
  std::ifstream in(host.IniFileName());
  EXPECT_FALSE(in.good());
}

TEST(ModelIni, ChannelKeepsItsOwnSettingsWhileTheRecordChanges) {
  TTestHost host;
  host.WriteIni("[CONFIG]\r\nOPERATION=Software Download - TRX5170L\r\n"
                "[Software Download - TRX5170L]\r\nBAUDRATE=19200\r\n");
  host.ModelPtr = std::make_unique<TModel>(host);
  host.Model = host.ModelPtr.get();
  PortSettings* seen = nullptr;
  host.ModelPtr->SetChannelFactory([&](TModel& m, const CmConfig&, PortSettings* s) {
    seen = s;
    return std::make_unique<TProbeChannel>(m, s);
  });
  host.Config.Connection = 1;
  host.Config.Operation = 2;
  ApplicationStarted = true;
  host.ModelPtr->Restart(host.Config);
  ASSERT_NE(seen, nullptr);
  host.ModelPtr->SwDl.SetBaudRate(115200);
  EXPECT_EQ(seen->BaudRate, 19200);  // takes effect with the next channel
  ASSERT_TRUE(host.RestartAndWait());
  EXPECT_EQ(seen->BaudRate, 115200);
}

// Start and Abort per kind, with a recording channel.
struct CommandCase {
  int operation;
  int stateBefore;
  std::vector<int> start;  // commands Start sends
  bool startStops;         // Start raises ReceiveStopped
  std::vector<int> abort;
  bool abortStops;
};

class ModelCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ModelCommands, StartAndAbortSendTheKindsCommands) {
  const CommandCase& c = GetParam();
  TTestHost host;
  host.ModelPtr = std::make_unique<TModel>(host, false);
  host.Model = host.ModelPtr.get();
  TProbeChannel* channel = nullptr;
  UseProbeChannels(*host.ModelPtr, channel);
  host.ModelPtr->SwDl.SetOperation(static_cast<uint8_t>(c.operation));
  host.Config.Connection = 1;
  ApplicationStarted = true;
  host.ModelPtr->Restart(host.Config);
  TModelSwDl& swdl = host.ModelPtr->SwDl;

  channel->State = c.stateBefore;
  const int calls = host.StateChangedCalls;
  host.ModelPtr->Start();
  EXPECT_EQ(channel->CommandsSeen(), c.start);
  EXPECT_EQ(swdl.ReceiveStopped.exchange(false), c.startStops);
  EXPECT_TRUE(swdl.CommandIssued.exchange(false));
  EXPECT_EQ(host.StateChangedCalls, calls + 1);

  channel->State = c.stateBefore;
  const size_t before = channel->CommandsSeen().size();
  host.ModelPtr->Abort();
  const std::vector<int> all = channel->CommandsSeen();
  EXPECT_EQ(std::vector<int>(all.begin() + static_cast<long>(before), all.end()), c.abort);
  EXPECT_EQ(swdl.ReceiveStopped.exchange(false), c.abortStops);
  EXPECT_TRUE(swdl.CommandIssued.exchange(false));
}

INSTANTIATE_TEST_SUITE_P(
    PerKind, ModelCommands,
    ::testing::Values(CommandCase{0, 0, {}, false, {}, false},
                      CommandCase{1, 1, {2}, false, {1}, false},
                      CommandCase{2, 1, {2}, false, {1}, false},
                      CommandCase{3, 1, {2}, false, {1}, false},
                      CommandCase{4, 0, {1}, false, {0}, true},   // first press starts
                      CommandCase{5, 1, {0}, true, {0}, true}));  // press while receiving stops

TEST(ModelReplyTimer, ExpiryReachesTheChannelOnceOnTheHostThread) {
  TTestHost host;
  host.ModelPtr = std::make_unique<TModel>(host, false);
  host.Model = host.ModelPtr.get();
  TProbeChannel* channel = nullptr;
  UseProbeChannels(*host.ModelPtr, channel);
  host.Config.Connection = 1;
  ApplicationStarted = true;
  host.ModelPtr->Restart(host.Config);

  host.ModelPtr->StartReplyTimer(20);
  ASSERT_TRUE(RunUntil([&] { return channel->TimerEvents == 1; }));
  RunFor(100);
  EXPECT_EQ(channel->TimerEvents, 1);  // one-shot

  host.ModelPtr->StartReplyTimer(50);
  host.ModelPtr->StopReplyTimer();
  RunFor(200);
  EXPECT_EQ(channel->TimerEvents, 1);  // disarmed in time

  // Armed from another thread, as the channels do inside their steps.
  std::thread worker([&] { host.ModelPtr->StartReplyTimer(20); });
  worker.join();
  ASSERT_TRUE(RunUntil([&] { return channel->TimerEvents == 2; }));
}

}  // namespace
