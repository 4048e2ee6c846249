// The download view with a software download: Open, the file's lines and
// dump, the load report warnings, Download and Abort.
#include <QFileInfo>

#include "files/Inipath.h"
#include "core/Model.h"
#include "tests/gui/Guifixture.h"
#include "tests/gui/Hexsamples.h"
#include "tests/support/Eventloop.h"
#include "views/Frameserswdl.h"

namespace {

int RowOf(int32_t offset) { return offset / 16 + 1; }

}  // namespace

struct DumpCase {
  int Operation;
  uint32_t Address;
  const char* FirstRow;
};

class DumpTest : public GuiTest, public ::testing::WithParamInterface<DumpCase> {};

TEST_P(DumpTest, OpenShowsTheFilesLinesAndItsDump) {
  const DumpCase& c = GetParam();
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\n");
  TFrSerSwDl& view = OpenDownloadView(c.Operation);
  TFrSerSwDlVCL& w = view.Widgets();
  std::vector<int> bytes = Counting(16, 0xA0);
  WriteFile("fw.hex", HexText(c.Address, bytes));
  Dialogs.OpenNames.push_back(Path("fw.hex"));
  w.bOpen->click();

  ASSERT_EQ(Dialogs.OpenRequests.size(), 1u);
  EXPECT_EQ(Dialogs.OpenRequests[0].Filter, "Intel HEX files (*.hex)|*.HEX");
  EXPECT_EQ(Dialogs.OpenRequests[0].InitialDir, ExecutableFolder());
  EXPECT_EQ(Script.Commands(), std::vector<int>{1}) << "a load sends the channel command 1";
  EXPECT_EQ(w.eFileName->text().toStdString(), Path("fw.hex"));
  ASSERT_EQ(w.mHexFile->Count(), 3);
  EXPECT_EQ(w.mHexFile->Line(1).substr(0, 9), ":10000000");
  EXPECT_EQ(w.mHexFile->Line(2), ":00000001FF");
  EXPECT_TRUE(w.bDownload->isVisibleTo(&w));
  EXPECT_EQ(w.bDownload->text(), "Download");

  TStringGrid& g = *w.sgBinData;
  EXPECT_EQ(g.Cell(0, 1), c.FirstRow);
  EXPECT_EQ(g.Cell(1, 1), "a0");
  EXPECT_EQ(g.Cell(16, 1), "af");
  if (c.Operation == 1) {
    EXPECT_EQ(g.RowCount(), 3);
    EXPECT_EQ(w.eLength->text(), "16");
    EXPECT_EQ(g.Cell(0, 2), "");
    EXPECT_EQ(g.Cell(1, 2), "");
  } else {
    // The checksum stamped into the last four bytes of the first 96 KiB.
    const int32_t used = w.eLength->text().toInt();
    EXPECT_GE(used, 98304);
    EXPECT_EQ(g.RowCount(), used / 16 + 2);
    EXPECT_EQ(g.Cell(0, RowOf(0x17FF0)), "000f7ff0");
    EXPECT_EQ(g.Cell(1, 2), "xx") << "bytes the file leaves empty";
    EXPECT_NE(g.Cell(16, RowOf(0x17FF0)), "xx");
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, DumpTest,
                         ::testing::Values(DumpCase{1, 0x08000000, "08000000"}, DumpCase{2, 0x000E0000, "000e0000"}));

TEST_F(GuiTest, AFullImageDumpHasOneRowPerSixteenBytes) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  std::vector<int> bytes = Counting(0xB0000);
  bytes[0x1234] = -1;
  WriteFile("total.hex", HexText(0x08000000, bytes));
  Dialogs.OpenNames.push_back(Path("total.hex"));
  w.bOpen->click();
  TStringGrid& g = *w.sgBinData;
  EXPECT_EQ(w.eLength->text(), "720896");
  EXPECT_EQ(g.RowCount(), 0xB0000 / 16 + 2);
  EXPECT_EQ(g.Cell(0, RowOf(0xAFFF0)), "080afff0");
  EXPECT_EQ(g.Cell(16, RowOf(0xAFFF0)), "ff");
  EXPECT_EQ(g.Cell(5, RowOf(0x1234)), "xx");
  EXPECT_EQ(g.Cell(0, g.RowCount() - 1), "");
}

TEST_F(GuiTest, AMissingFileIsReportedAndNothingLoads) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  Dialogs.OpenNames.push_back(Path("nothere.hex"));
  w.bOpen->click();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Text, "Could not open file");
  EXPECT_EQ(Dialogs.Messages[0].Caption, "Error");
  EXPECT_EQ(Dialogs.Messages[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(Dialogs.Messages[0].Buttons, mbOK);
  EXPECT_TRUE(Script.Commands().empty());

  // A cancelled dialog does nothing at all.
  Dialogs.OpenNames.push_back(std::nullopt);
  w.bOpen->click();
  EXPECT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_TRUE(Script.Commands().empty());
}

TEST_F(GuiTest, WrongChecksumsAskLoadAnywayAndNoKeepsThePreviousImage) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  TModel& model = Main->ModelRef();
  WriteFile("good.hex", HexText(0x08000000, Counting(32)));
  WriteFile("bad.hex", WithBadChecksum(HexText(0x08000000, Counting(48, 7)), 3));
  Dialogs.OpenNames.push_back(Path("good.hex"));
  w.bOpen->click();
  const auto good = model.SwDl.CurrentImage();

  Dialogs.OpenNames.push_back(Path("bad.hex"));
  Dialogs.Answers.push_back(mbNo);
  w.bOpen->click();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  const TShownMessage& m = Dialogs.Messages[0];
  EXPECT_NE(m.Text.find("(line 3)"), std::string::npos) << m.Text;
  EXPECT_NE(m.Text.find("Load anyway?"), std::string::npos) << m.Text;
  EXPECT_EQ(m.Caption, "Warning");
  EXPECT_EQ(m.Icon, TMsgIcon::Warning);
  EXPECT_EQ(m.Buttons, mbYes | mbNo);
  EXPECT_EQ(model.SwDl.CurrentImage(), good);
  EXPECT_EQ(Script.Commands(), std::vector<int>{1}) << "No sends nothing to the channel";
  EXPECT_EQ(w.eFileName->text().toStdString(), Path("good.hex"));

  Dialogs.OpenNames.push_back(Path("bad.hex"));
  Dialogs.Answers.push_back(mbYes);
  w.bOpen->click();
  EXPECT_EQ(Script.Commands(), (std::vector<int>{1, 1}));
  EXPECT_EQ(w.eFileName->text().toStdString(), Path("bad.hex"));
  EXPECT_EQ(w.sgBinData->Cell(1, 1), "07");
}

TEST_F(GuiTest, DataOutsideTheImageIsNamedAndTheRestLoads) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - TRX5170L\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  // 0x100000 lies past the 128 KiB image at 0xE0000.
  WriteFile("wide.hex", HexText(0x000E0000, Counting(16)) + HexText(0x00100000, Counting(8)));
  Dialogs.OpenNames.push_back(Path("wide.hex"));
  w.bOpen->click();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_NE(Dialogs.Messages[0].Text.find("0x00100000 to 0x00100007"), std::string::npos) << Dialogs.Messages[0].Text;
  EXPECT_EQ(Dialogs.Messages[0].Buttons, mbOK);
  EXPECT_EQ(Script.Commands(), std::vector<int>{1});
  EXPECT_EQ(w.sgBinData->Cell(1, 1), "00");
}

TEST_F(GuiTest, AnUnreadableFileGoesToTheErrorDisplay) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  QDir(QString::fromStdString(Dir.path().toStdString())).mkdir("folder.hex");
  Dialogs.OpenNames.push_back(Path("folder.hex"));
  w.bOpen->click();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Caption, "Quelmark Electric Scale Service");
  EXPECT_EQ(Dialogs.Messages[0].Icon, TMsgIcon::Error);
  EXPECT_NE(Dialogs.Messages[0].Text.find("folder.hex"), std::string::npos);
  EXPECT_TRUE(Script.Commands().empty());
}

TEST_F(GuiTest, DownloadTurnsIntoAbortWhichAsksFirst) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  WriteFile("fw.hex", HexText(0x08000000, Counting(64)));
  Dialogs.OpenNames.push_back(Path("fw.hex"));
  w.bOpen->click();
  EXPECT_EQ(w.bDownload->text(), "Download");
  EXPECT_TRUE(w.cbOperation->isEnabled());

  w.bDownload->click();
  EXPECT_EQ(Script.Commands(), (std::vector<int>{1, 2}));
  EXPECT_EQ(w.bDownload->text(), "Abort");
  EXPECT_FALSE(w.cbOperation->isEnabled()) << "the combo boxes lock while the channel runs";
  EXPECT_FALSE(w.cbConnectionType->isEnabled());
  EXPECT_FALSE(Main->MIView->menuAction()->isVisible());

  Dialogs.Answers.push_back(mbNo);
  w.bDownload->click();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Text, "Abort download?");
  EXPECT_EQ(Dialogs.Messages[0].Caption, "Abort");
  EXPECT_EQ(Dialogs.Messages[0].Buttons, mbYes | mbNo);
  EXPECT_EQ(Script.Commands(), (std::vector<int>{1, 2})) << "No leaves the transfer running";
  EXPECT_EQ(w.bDownload->text(), "Abort");

  Dialogs.Answers.push_back(mbYes);
  w.bDownload->click();
  EXPECT_EQ(Script.Commands(), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(w.bDownload->text(), "Download");
  EXPECT_TRUE(w.cbOperation->isEnabled());
}

TEST_F(GuiTest, TheProgressBarFollowsTheProcessorPartWhileWritingAndVerifying) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  // Main processor 0x400 bytes, display 0x200 bytes.
  WriteFile("fw.hex", HexText(0x08000000, Counting(0x400)) + HexText(0x08080000, Counting(0x200)));
  Dialogs.OpenNames.push_back(Path("fw.hex"));
  w.bOpen->click();
  w.bDownload->click();

  // The bar follows the run status the channel publishes, whatever its texts.
  struct Step {
    int State;
    CmPhase Phase;
    int Part;
    const char* Offset;
    const char* Unit;
    int Maximum;  // 0: hidden
    const char* Format;
  };
  const Step steps[] = {{4, CmPhase::Connecting, 0, "", "Main processor", 0, ""},
                        {14, CmPhase::Transferring, 0, "256", "Main processor", 0x400, "Writing %p%"},
                        {25, CmPhase::Verifying, 0, "512", "Main processor", 0x400, "Verifying %p%"},
                        {14, CmPhase::Transferring, 1, "128", "Display", 0x200, "Writing %p%"},
                        {31, CmPhase::Finishing, 1, "", "", 0, ""}};
  for (const Step& s : steps) {
    Script.State = s.State;
    Script.AddressText = s.Offset;
    Script.UnitText = s.Unit;
    Script.RunStatus.Phase = s.Phase;
    Script.RunStatus.Part = s.Part;
    Script.RunStatus.DoneUnits = QString(s.Offset).toInt();
    Script.RunStatus.TotalUnits = s.Maximum;
    Script.ChangeFlagged = true;
    ASSERT_TRUE(RunUntil([&] { return !Script.ChangeFlagged && w.EUnit->text() == s.Unit; }));
    EXPECT_EQ(w.pbProgress->isVisibleTo(&w), s.Maximum > 0) << "state " << s.State;
    if (s.Maximum > 0) {
      EXPECT_EQ(w.pbProgress->maximum(), s.Maximum);
      EXPECT_EQ(w.pbProgress->value(), QString(s.Offset).toInt());
      EXPECT_EQ(w.pbProgress->format(), s.Format);
    }
  }
  Script.State = 1;
  Script.RunStatus = CmRunStatus{};
  Script.RunStatus.Phase = CmPhase::Done;
  Script.ChangeFlagged = true;
  ASSERT_TRUE(RunUntil([&] { return !Script.ChangeFlagged; }));
  EXPECT_TRUE(w.pbProgress->isVisibleTo(&w)) << "the outcome stays";
  EXPECT_EQ(w.pbProgress->format(), "Done: verified");
}

// After a run the bar tells how it ended, also where the state text reads
// the same as before the run (no Ethernet part, no final reboot), until the
// next Open, Download or change of operation.
enum class TClearAction { Open, Download, Operation };

struct OutcomeCase {
  const char* Name;
  int Operation;          // 1 K7310, 2 TRX5170L
  int EndState;           // the channel's state after the run
  const char* EndText;    // its state text
  CmPhase End;            // the run status it publishes
  const char* Format;     // what the bar then reads
  bool Full;              // the bar at 100 %
  TClearAction Clear;
};

void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.Name; }

class OutcomeTest : public GuiTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(OutcomeTest, TheBarShowsHowTheRunEndedUntilTheNextOpenDownloadOrOperation) {
  const OutcomeCase& c = GetParam();
  StartMain(std::string("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=") +
            (c.Operation == 1 ? "Software Download - K7310" : "Software Download - TRX5170L") + "\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  WriteFile("fw.hex", HexText(c.Operation == 1 ? 0x08000000 : 0xE0000, Counting(0x400)));
  Dialogs.OpenNames.push_back(Path("fw.hex"));
  w.bOpen->click();
  Script.StateText = "Ready for download";
  w.bDownload->click();
  auto publish = [&](int state, const std::string& text, CmRunStatus status) {
    Script.State = state;
    Script.StateText = text;
    Script.RunStatus = status;
    Script.ChangeFlagged = true;
    ASSERT_TRUE(RunUntil([&] { return !Script.ChangeFlagged && w.eState->text().toStdString() == text; }));
  };
  CmRunStatus writing;
  writing.Phase = CmPhase::Transferring;
  writing.Part = c.Operation == 1 ? 0 : CmRunStatus::NoPart;
  writing.DoneUnits = 0x100;
  writing.TotalUnits = 0x400;
  publish(14, "Downloading", writing);
  ASSERT_EQ(w.pbProgress->value(), 0x100);

  CmRunStatus end;
  end.Phase = c.End;
  publish(c.EndState, c.EndText, end);
  EXPECT_TRUE(w.pbProgress->isVisibleTo(&w));
  EXPECT_EQ(w.pbProgress->format().toStdString(), c.Format);
  if (c.Full) {
    EXPECT_EQ(w.pbProgress->value(), w.pbProgress->maximum());
  } else {
    EXPECT_EQ(w.pbProgress->value(), 0x100) << "where the run got to stays";
  }
  // The run is over: nothing to abort, the choices are open.
  EXPECT_EQ(w.bDownload->text(), "Download");
  EXPECT_TRUE(w.cbOperation->isEnabled());
  // The channel at rest publishes its outcome again and again; the bar stays.
  publish(c.EndState, c.EndText, CmRunStatus{});
  EXPECT_TRUE(w.pbProgress->isVisibleTo(&w));

  switch (c.Clear) {
    case TClearAction::Open:
      Dialogs.OpenNames.push_back(Path("fw.hex"));
      w.bOpen->click();
      break;
    case TClearAction::Download:
      Script.State = 1;
      w.bDownload->click();
      break;
    case TClearAction::Operation:
      Choose(w.cbOperation, c.Operation == 1 ? 2 : 1);
      ASSERT_TRUE(WaitForRestart());
      break;
  }
  EXPECT_FALSE(DownloadView().Widgets().pbProgress->isVisibleTo(&DownloadView().Widgets()));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, OutcomeTest,
    ::testing::Values(
        OutcomeCase{"K7310WithoutEthernetPart", 1, 1, "Ready for download", CmPhase::Done, "Done: verified", true,
                    TClearAction::Open},
        OutcomeCase{"K7310WithFinalReboot", 1, 1, "Download done. Ready for new download", CmPhase::Done,
                    "Done: verified", true, TClearAction::Download},
        OutcomeCase{"Trx5170lClosingFrameAnswered", 2, 1, "Download done", CmPhase::Done, "Done", true,
                    TClearAction::Operation},
        OutcomeCase{"PortFailed", 1, 3, "Error! Communication: Could not read (STX) port", CmPhase::Failed, "Failed",
                    false, TClearAction::Download},
        OutcomeCase{"Stopped", 1, 1, "Ready for download", CmPhase::Stopped, "Stopped", false, TClearAction::Open}),
    [](const ::testing::TestParamInfo<OutcomeCase>& param) { return std::string(param.param.Name); });

TEST_F(GuiTest, OpeningAFileDuringADownloadLoadsItAndStopsTheRun) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  WriteFile("a.hex", HexText(0x08000000, Counting(16)));
  WriteFile("b.hex", HexText(0x08000000, Counting(16, 0x50)));
  Dialogs.OpenNames.push_back(Path("a.hex"));
  w.bOpen->click();
  w.bDownload->click();
  ASSERT_EQ(w.bDownload->text(), "Abort");
  Dialogs.OpenNames.push_back(Path("b.hex"));
  w.bOpen->click();
  EXPECT_EQ(Script.Commands(), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(w.sgBinData->Cell(1, 1), "50");
  EXPECT_EQ(w.bDownload->text(), "Download");
}
