// The main window's start and end: the port probe, the log banners, the INI
// keys written at exit, and the close hand-shake with the worker thread.
#include "files/Logfile.h"
#include "comm/Portmap.h"
#include "core/Model.h"
#include "tests/gui/Guifixture.h"
#include "tests/support/Eventloop.h"
#include "views/Frameserswdl.h"
#include "views/Framestart.h"

namespace {

// The keys of one section in file order.
std::vector<std::string> KeysOf(const std::string& ini, const std::string& section) {
  std::vector<std::string> keys;
  bool inside = false;
  size_t pos = 0;
  while (pos < ini.size()) {
    size_t end = ini.find('\n', pos);
    if (end == std::string::npos) end = ini.size();
    std::string line = ini.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;
    if (!line.empty() && line[0] == '[') {
      inside = line == "[" + section + "]";
      continue;
    }
    if (inside && line.find('=') != std::string::npos) keys.push_back(line.substr(0, line.find('=')));
  }
  return keys;
}

std::vector<std::string> SectionsOf(const std::string& ini) {
  std::vector<std::string> sections;
  size_t pos = 0;
  while ((pos = ini.find('[', pos)) != std::string::npos) {
    if (pos == 0 || ini[pos - 1] == '\n') sections.push_back(ini.substr(pos + 1, ini.find(']', pos) - pos - 1));
    ++pos;
  }
  return sections;
}

}  // namespace

TEST_F(GuiTest, AFreshRunWritesTheKeysInTheirOrderAndTwoBanners) {
  StartMain("[PORTS]\r\nCOM1=" + Pty.SlavePath() + "\r\n", true, false);
  StartView();
  const std::string log = ReadFile("LOG.TXT");
  EXPECT_EQ(log.rfind("\r\n" + TLogFile::StartBannerLine() + "\r\n", 0), 0u) << log;
  DestroyMain();

  const std::string ini = ReadFile("QMScaleService.INI");
  EXPECT_EQ(SectionsOf(ini),
            (std::vector<std::string>{"PORTS", "CONFIG", "LCDATA", "Software Download - K7310",
                                      "Software Download - TRX5170L", "Parameters from PC to device",
                                      "Parameters from device to PC - TEST",
                                      "Parameters from device to PC - DOWNLOAD"}));
  EXPECT_EQ(KeysOf(ini, "CONFIG"), (std::vector<std::string>{"CONNECTION", "PORT", "TOOLMENU", "OPERATION"}));
  std::vector<std::string> lcdata;
  for (int n = 1; n <= 6; ++n) {
    lcdata.push_back("LCZERO-0" + std::to_string(n));
    lcdata.push_back("LCCALFAC-0" + std::to_string(n));
  }
  EXPECT_EQ(KeysOf(ini, "LCDATA"), lcdata);
  EXPECT_NE(ini.find("CONNECTION=None\r\nPORT=1\r\nTOOLMENU=0\r\nOPERATION=None"), std::string::npos) << ini;
  EXPECT_NE(ini.find("LCCALFAC-01=524288"), std::string::npos);
  EXPECT_EQ(ini.find("LCNO"), std::string::npos) << "LCNO is never written";
  EXPECT_EQ(KeysOf(ini, "Parameters from PC to device"), (std::vector<std::string>{"BAUDRATE", "PARITY"}));

  const std::string twice = ReadFile("LOG.TXT");
  EXPECT_NE(twice.find(TLogFile::StopBannerLine()), std::string::npos);
  EXPECT_LT(twice.find(TLogFile::StartBannerLine()), twice.find(TLogFile::StopBannerLine()));
}

TEST_F(GuiTest, TheViewsConnectionAndTheLoadCellValuesGoBackToTheIni) {
  StartMain("[CONFIG]\r\nCONNECTION=None\r\n[LCDATA]\r\nLCZERO-03=0x10\r\n[LCFAST]\r\nLCNO=4\r\n");
  EXPECT_EQ(Main->Config.LcZero[2], 16);
  EXPECT_EQ(Main->Config.LcNo, 4);
  Choose(StartView().Widgets().cbConnectionType, 1);
  ASSERT_TRUE(WaitForRestart());
  Choose(DownloadView().Widgets().cbOperation, 3);
  ASSERT_TRUE(WaitForRestart());
  DestroyMain();
  const std::string ini = ReadFile("QMScaleService.INI");
  EXPECT_NE(ini.find("CONNECTION=Serial"), std::string::npos);
  EXPECT_NE(ini.find("OPERATION=Parameters from PC to device"), std::string::npos);
  EXPECT_NE(ini.find("LCZERO-03=16"), std::string::npos);
  EXPECT_NE(ini.find("LCNO=4"), std::string::npos) << "a value entered by hand survives";
}

TEST_F(GuiTest, AConfiguredPortThatDoesNotOpenGivesWayToTheFirstThatDoes) {
  int first = 0;
  SetComOverrides({{200, Pty.SlavePath()}});
  for (int n = 1; n <= 255 && !first; ++n)
    if (ComPortOpens(n)) first = n;
  SetComOverrides({});
  ASSERT_NE(first, 0);
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nPORT=150\r\n");
  EXPECT_EQ(Main->Config.Port, first);
  EXPECT_EQ(Main->Config.Connection, 1);
  DestroyMain();
  EXPECT_NE(ReadFile("QMScaleService.INI").find("PORT=" + std::to_string(first) + "\r\n"), std::string::npos);
}

TEST_F(GuiTest, ClosingIsRefusedSilentlyWhileARestartIsPending) {
  StartMain();
  Choose(StartView().Widgets().cbConnectionType, 1);
  ASSERT_TRUE(Main->RestartPending);
  EXPECT_FALSE(Main->close());
  EXPECT_FALSE(Main->close());
  EXPECT_TRUE(Dialogs.Messages.empty()) << "no question while restarting";
  EXPECT_TRUE(Main->isVisible());
  ASSERT_TRUE(WaitForRestart());
}

TEST_F(GuiTest, NoKeepsTheWindowAndTheTransferAndALaterThreadEndCloses) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  Script.State = 14;  // a transfer runs
  Dialogs.Answers.push_back(mbNo);
  Main->MIFileExit->trigger();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Text, "Close communication?");
  EXPECT_EQ(Dialogs.Messages[0].Caption, "Close");
  EXPECT_EQ(Dialogs.Messages[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(Dialogs.Messages[0].Buttons, mbYes | mbNo);
  EXPECT_TRUE(Main->isVisible());
  EXPECT_TRUE(Main->CloseRequested);
  RunFor(200);
  EXPECT_TRUE(Main->ModelRef().ThreadRunning());
  EXPECT_EQ(Script.State, 14);
  EXPECT_TRUE(Script.Commands().empty());
  EXPECT_EQ(ClosedSignals, 0);

  // The thread ends by itself (as after a port error): the window closes
  // instead of restarting the communication.
  Main->ModelRef().StopCommunication();
  ASSERT_TRUE(RunUntil([this] { return ClosedSignals == 1; }));
  EXPECT_FALSE(Main->isVisible());
  EXPECT_EQ(Dialogs.Messages.size(), 1u);
}

TEST_F(GuiTest, YesHidesTheWindowShowsTheClosingDialogAndClosesWhenTheThreadHasEnded) {
  StartMain();
  Dialogs.Answers.push_back(mbYes);
  EXPECT_FALSE(Main->close());
  // The thread's end can only close the window once events run again, so
  // this is the moment between the answer and the end.
  EXPECT_TRUE(Closing->isVisible()) << "the closing dialog is shown";
  EXPECT_EQ(Closing->windowTitle(), "Afslutter");
  EXPECT_EQ(Closing->CommClosingText->text(), "Kommunikationen afsluttes");
  EXPECT_FALSE(Main->isVisible()) << "the main window hides";
  EXPECT_TRUE(Main->CloseRequested);
  ASSERT_TRUE(RunUntil([this] { return ClosedSignals == 1; }));
  EXPECT_FALSE(Closing->isVisible()) << "closed with the main window";
  EXPECT_TRUE(Main->CommEnded);
  EXPECT_FALSE(Main->ModelRef().ThreadRunning());
}
