// A running transfer and the ways out of it: every action that would restart
// the communication asks first, the menus follow the channel into and out of
// a transfer, and the total hex tool never leaves the View menu hidden.
#include <QApplication>
#include <QFrame>
#include <QMouseEvent>
#include <QTimer>

#include "app/Fdlgconfig.h"
#include "core/Model.h"
#include "tests/gui/Guifixture.h"
#include "tests/gui/Hexsamples.h"
#include "tests/support/Eventloop.h"
#include "views/Frameserswdl.h"
#include "views/Frametooltotalhex.h"

class TransferTest : public GuiTest {
 protected:
  // The view for the operation with a transfer running: a K7310 download
  // (operation 1) or a parameter upload receiving (operation 4).
  void StartTransfer(int operation) {
    StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nTOOLMENU=1\r\n[PORTS]\r\nCOM199=" + Pty.SlavePath() +
              "\r\nCOM200=" + Pty.SlavePath() + "\r\n");
    TFrSerSwDlVCL& w = OpenDownloadView(operation).Widgets();
    if (operation == 1) {
      WriteFile("fw.hex", HexText(0x08000000, Counting(64)));
      Dialogs.OpenNames.push_back(Path("fw.hex"));
      w.bOpen->click();
    }
    w.bDownload->click();
    ASSERT_TRUE(Main->ModelRef().InTransfer());
    CommandsBefore = Script.Commands();
  }
  bool ViewMenuShown() const { return Main->MIView->menuAction()->isVisible(); }
  // A click on the main window's own surface: the line at the top.
  void ClickSurface() {
    auto* bevel = Main->findChild<QFrame*>("TopBevel");
    ASSERT_NE(bevel, nullptr);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 1), bevel->mapToGlobal(QPointF(5, 1)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bevel, &press);
  }
  // View, Settings: another port, Apply.
  void ApplyAnotherPort() {
    QTimer::singleShot(0, [this] {
      TDlgConfig* d = Main->SettingsDialog();
      ASSERT_NE(d, nullptr);
      d->cbPort->setCurrentIndex(d->cbPort->findText("COM199"));
      d->BOkClick();
    });
    Main->MIViewSettings->trigger();
  }
  std::vector<int> CommandsBefore;
};

enum class TRestartAction { ViewFromTool, SurfaceClick, SettingsApply };

struct RestartCase {
  int Operation;
  TRestartAction Action;
  int AbortCommand;  // what the channel gets on Yes, as from the Abort button
};

class RestartQuestionTest : public TransferTest, public ::testing::WithParamInterface<RestartCase> {
 protected:
  void Act() {
    switch (GetParam().Action) {
      case TRestartAction::ViewFromTool:
        Main->MITotalHexFile->trigger();
        ToolView();
        Main->MIViewSwDl->trigger();
        break;
      case TRestartAction::SurfaceClick:
        ClickSurface();
        break;
      case TRestartAction::SettingsApply:
        ApplyAnotherPort();
        break;
    }
  }
};

TEST_P(RestartQuestionTest, NoKeepsTheTransferAndYesAbortsItBeforeTheRestart) {
  const RestartCase& c = GetParam();
  StartTransfer(c.Operation);
  const int state = Script.State;
  const int32_t port = Main->Config.Port;

  Dialogs.Answers.push_back(mbNo);
  Act();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Text, "Abort download?");
  EXPECT_EQ(Dialogs.Messages[0].Caption, "Abort");
  EXPECT_EQ(Dialogs.Messages[0].Buttons, mbYes | mbNo);
  EXPECT_FALSE(Main->RestartPending) << "No leaves the transfer running";
  RunFor(100);
  EXPECT_TRUE(Main->ModelRef().ThreadRunning());
  EXPECT_EQ(Script.State, state);
  EXPECT_EQ(Script.Commands(), CommandsBefore);
  EXPECT_EQ(Main->Config.Port, port) << "the settings in force stay";

  // The tool was left open by the first try; the same action again.
  Dialogs.Answers.push_back(mbYes);
  Act();
  ASSERT_EQ(Dialogs.Messages.size(), 2u);
  std::vector<int> aborted = CommandsBefore;
  aborted.push_back(c.AbortCommand);
  EXPECT_EQ(Script.Commands(), aborted);
  EXPECT_TRUE(Main->RestartPending);
  ASSERT_TRUE(WaitForRestart());
  DownloadView();
  if (c.Action == TRestartAction::SettingsApply) {
    EXPECT_EQ(Main->Config.Port, 199);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, RestartQuestionTest,
    ::testing::Values(RestartCase{1, TRestartAction::ViewFromTool, 1}, RestartCase{1, TRestartAction::SurfaceClick, 1},
                      RestartCase{1, TRestartAction::SettingsApply, 1},
                      RestartCase{4, TRestartAction::SurfaceClick, 0},
                      RestartCase{4, TRestartAction::SettingsApply, 0}));

TEST_F(TransferTest, WithoutATransferTheSameActionsAskNothing) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  ClickSurface();
  EXPECT_TRUE(Main->RestartPending);
  ASSERT_TRUE(WaitForRestart());
  EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(TransferTest, TheViewMenuFollowsStateChangesTheChannelDoesNotFlag) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  WriteFile("fw.hex", HexText(0x08000000, Counting(64)));
  Dialogs.OpenNames.push_back(Path("fw.hex"));
  w.bOpen->click();
  ASSERT_TRUE(ViewMenuShown());
  // The start request and the run, then the end, none of them flagged.
  for (int state : {2, 14, 1}) {
    Script.State = state;
    const bool transfer = state >= 2;
    EXPECT_TRUE(RunUntil([&] { return ViewMenuShown() == !transfer; }, 2000)) << "state " << state;
    EXPECT_EQ(w.cbOperation->isEnabled(), !transfer) << "state " << state;
    EXPECT_EQ(w.bDownload->text(), transfer ? "Abort" : "Download") << "state " << state;
  }
}

TEST_F(TransferTest, TheToolShowsTheViewMenuOnceNoTransferRunsAndLeavingItEnablesItsItem) {
  StartTransfer(1);
  EXPECT_FALSE(ViewMenuShown());
  Main->MITotalHexFile->trigger();
  ToolView();
  EXPECT_FALSE(ViewMenuShown()) << "the download still runs";
  EXPECT_FALSE(Main->MITotalHexFile->isEnabled());

  // The download ends while the tool is shown.
  Script.State = 1;
  Script.ChangeFlagged = true;
  ASSERT_TRUE(RunUntil([&] { return ViewMenuShown(); }, 2000)) << "the way back from the tool";

  Main->MIViewSwDl->trigger();
  DownloadView();
  EXPECT_TRUE(Dialogs.Messages.empty()) << "nothing runs, nothing to ask";
  EXPECT_TRUE(Main->MITotalHexFile->isEnabled());
  EXPECT_FALSE(Main->MITotalHexFile->isChecked());
  ASSERT_TRUE(WaitForRestart());

  // Opened with no transfer at all, the tool shows the View menu at once,
  // even if it was hidden when the tool came.
  Main->MIView->menuAction()->setVisible(false);
  Main->MITotalHexFile->trigger();
  EXPECT_TRUE(ViewMenuShown());
}
