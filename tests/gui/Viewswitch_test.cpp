// View switching through the connection combo boxes, operation changes and
// the restarts they cause.
#include <QAction>
#include <QComboBox>

#include "tests/gui/Guifixture.h"
#include "tests/support/Eventloop.h"
#include "views/Framestart.h"
#include "views/Frameserswdl.h"
#include "views/Frametooltotalhex.h"

TEST_F(GuiTest, ConnectionComboBoxesSwitchBetweenStartAndDownloadView) {
  StartMain();
  TFrStart* start = &StartView();
  EXPECT_EQ(start->Widgets().cbConnectionType->count(), 2);
  EXPECT_EQ(start->Widgets().cbConnectionType->itemText(0), "None");
  EXPECT_EQ(start->Widgets().cbConnectionType->itemText(1), "Serial");

  // The same entry again changes nothing: no restart, no new view.
  Choose(start->Widgets().cbConnectionType, 0);
  EXPECT_FALSE(Main->RestartPending);
  EXPECT_EQ(Main->CurrentView(), start);

  const int opensBefore = Script.Opens;
  Choose(start->Widgets().cbConnectionType, 1);
  EXPECT_TRUE(Main->RestartPending);
  TFrSerSwDl* download = &DownloadView();
  EXPECT_EQ(Main->PreviousView(), start) << "the replaced view lives on until the next switch";
  EXPECT_EQ(download->GetConnection(), 1);
  ASSERT_TRUE(WaitForRestart());
  EXPECT_EQ(Main->Config.Connection, 1);
  EXPECT_GT(Script.Opens, opensBefore) << "the channel was rebuilt";

  Choose(download->Widgets().cbConnectionType, 0);
  StartView();
  EXPECT_EQ(Main->PreviousView(), download);
  ASSERT_TRUE(WaitForRestart());
  EXPECT_EQ(Main->Config.Connection, 0);
}

TEST_F(GuiTest, OperationChangeRestartsTheChannelAndTheSameOperationDoesNot) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\n");
  TFrSerSwDl& view = DownloadView();
  ASSERT_EQ(view.Widgets().cbOperation->count(), 6);
  EXPECT_EQ(view.Widgets().cbOperation->itemText(5), "Parameters from device to PC - DOWNLOAD");

  int opens = Script.Opens;
  Choose(view.Widgets().cbOperation, 1);
  EXPECT_TRUE(Main->RestartPending);
  ASSERT_TRUE(WaitForRestart());
  EXPECT_EQ(Main->ModelRef().SwDl.GetOperation(), 1);
  EXPECT_EQ(Main->Config.Operation, 1);
  EXPECT_EQ(Script.Opens, opens + 1) << "a new channel for the new operation";
  EXPECT_EQ(&DownloadView(), &view) << "an operation change keeps the view";

  const CmBase* channel = Main->ModelRef().CurrentChannel();
  opens = Script.Opens;
  Choose(view.Widgets().cbOperation, 1);
  EXPECT_FALSE(Main->RestartPending);
  RunFor(300);
  EXPECT_EQ(Main->ModelRef().CurrentChannel(), channel);
  EXPECT_EQ(Script.Opens, opens);
}

// Which fields and buttons each kind of operation shows.
struct KindLook {
  int Operation;
  bool Unit;    // EUnit and lUnit
  bool Length;  // lLength, eLength, eAddr
  const char* OpenCaption;
  std::vector<std::string> Headers;
};

class KindLookTest : public GuiTest, public ::testing::WithParamInterface<KindLook> {};

TEST_P(KindLookTest, FieldsAndGridFollowTheOperation) {
  const KindLook& c = GetParam();
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\n");
  TFrSerSwDl& view = OpenDownloadView(c.Operation);
  TFrSerSwDlVCL& w = view.Widgets();
  EXPECT_EQ(w.EUnit->isVisibleTo(&w), c.Unit);
  EXPECT_EQ(w.lUnit->isVisibleTo(&w), c.Unit);
  EXPECT_EQ(w.eLength->isVisibleTo(&w), c.Length);
  EXPECT_EQ(w.eAddr->isVisibleTo(&w), c.Length);
  EXPECT_EQ(w.bOpen->text(), c.OpenCaption);
  EXPECT_FALSE(w.pbProgress->isVisibleTo(&w)) << "no progress while idle";
  ASSERT_EQ(w.sgBinData->ColCount(), static_cast<int>(c.Headers.size()));
  EXPECT_EQ(w.sgBinData->RowCount(), 2);
  for (size_t col = 0; col < c.Headers.size(); ++col) EXPECT_EQ(w.sgBinData->Cell(static_cast<int>(col), 0), c.Headers[col]);
}

std::vector<std::string> HexHeaders() {
  std::vector<std::string> h{""};
  const char* digits = "0123456789abcdef";
  for (int i = 0; i < 16; ++i) h.push_back(std::string("0") + digits[i]);
  return h;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, KindLookTest,
    ::testing::Values(KindLook{1, true, true, "Open", HexHeaders()}, KindLook{2, false, true, "Open", HexHeaders()},
                      KindLook{3, false, false, "Open", {"Par. No.", "Description", "File", "Old", "New"}},
                      KindLook{4, false, false, "Save", {"Par. No.", "Description", "Value"}}));

TEST_F(GuiTest, OperationNoneKeepsTheDownloadButtonHiddenAndTheGridAsItWas) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Parameters from PC to device\r\n");
  TFrSerSwDl& view = DownloadView();
  EXPECT_EQ(view.Widgets().sgBinData->Cell(0, 0), "Par. No.");
  Choose(view.Widgets().cbOperation, 0);
  ASSERT_TRUE(WaitForRestart());
  EXPECT_FALSE(view.Widgets().bDownload->isVisibleTo(&view.Widgets()));
  EXPECT_EQ(view.Widgets().sgBinData->ColCount(), 5);
  EXPECT_EQ(view.Widgets().sgBinData->Cell(1, 0), "Description");
}

TEST_F(GuiTest, TheToolViewStaysAsPreviousViewUntilTheSwitchAfterIt) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nTOOLMENU=1\r\n");
  EXPECT_TRUE(Main->mITools->menuAction()->isVisible());
  EXPECT_FALSE(Main->MIViewSwDl->isEnabled()) << "the download view disables its own menu item";
  TFrBase* download = Main->CurrentView();

  Main->MITotalHexFile->trigger();
  TFrToolTotalHex* tool = &ToolView();
  EXPECT_EQ(Main->PreviousView(), download);
  EXPECT_FALSE(Main->MITotalHexFile->isEnabled());
  EXPECT_TRUE(Main->MITotalHexFile->isChecked());
  EXPECT_TRUE(Main->MIViewSwDl->isEnabled());
  EXPECT_FALSE(Main->RestartPending) << "the tool leaves the communication alone";

  Main->MIViewSwDl->trigger();
  DownloadView();
  EXPECT_EQ(Main->PreviousView(), tool);
  EXPECT_TRUE(Main->MITotalHexFile->isEnabled()) << "the tool can be opened again";
  ASSERT_TRUE(WaitForRestart());

  Choose(DownloadView().Widgets().cbConnectionType, 0);
  EXPECT_NE(Main->PreviousView(), tool);
  ASSERT_TRUE(WaitForRestart());
}

TEST_F(GuiTest, WithoutToolMenuOnlySettingsAndExitRemain) {
  StartMain();
  EXPECT_FALSE(Main->mITools->menuAction()->isVisible());
  EXPECT_FALSE(Main->MIViewSwDl->isVisible());
  EXPECT_FALSE(Main->MIFileOpen->isVisible());
  EXPECT_TRUE(Main->MIViewSettings->isVisible());
  EXPECT_TRUE(Main->MIFileExit->isVisible());
  EXPECT_EQ(Main->windowTitle(), "QMScaleService.091116.1.7");
  EXPECT_EQ(Main->MIViewSettings->shortcut(), QKeySequence("Ctrl+S"));
  EXPECT_EQ(Main->MIFileExit->shortcut(), QKeySequence("Ctrl+X"));
}
