// The download view with parameter files (operation 3) and received
// parameters (operations 4 and 5), with the stand-in channel.
#include "core/Model.h"
#include "tests/gui/Guifixture.h"
#include "tests/support/Eventloop.h"
#include "views/Frameserswdl.h"

namespace {

const char* const ParameterFile =
    "Scale parameters\r\n"
    "Par.1: Scale type :2\r\n"
    "Par.5: Capacity :60000\r\n"
    "no parameter here\r\n"
    "Par.5: Capacity again :30000\r\n"
    "Par.8:4\r\n";

}  // namespace

TEST_F(GuiTest, AParameterFileFillsTheGridAndResultsFillOldAndNew) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Parameters from PC to device\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  WriteFile("par.txt", ParameterFile);
  Dialogs.OpenNames.push_back(Path("par.txt"));
  w.bOpen->click();
  ASSERT_EQ(Dialogs.OpenRequests.size(), 1u);
  EXPECT_EQ(Dialogs.OpenRequests[0].Filter, "Text files (*.txt)|*.TXT");
  EXPECT_EQ(w.mHexFile->Count(), 6) << "every line is shown in the memo";
  TStringGrid& g = *w.sgBinData;
  ASSERT_EQ(g.RowCount(), 5) << "one row per parameter line, the header and no empty row";
  const std::vector<std::vector<std::string>> rows = {
      {"1", "Scale type", "2"}, {"5", "Capacity", "60000"}, {"5", "Capacity again", "30000"}, {"8", "", "4"}};
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < 3; ++c) EXPECT_EQ(g.Cell(static_cast<int>(c), static_cast<int>(r + 1)), rows[r][c]);
  EXPECT_EQ(w.bDownload->text(), "Transfer to device");

  w.bDownload->click();
  EXPECT_EQ(w.pbProgress->format(), "%v of %m parameters");
  EXPECT_EQ(w.pbProgress->maximum(), 3) << "1, 5 and 8 are sent; the second 5 is not";

  // The channel's results for parameters 1 and 5: both rows of 5 get them.
  TModelSwDl& swdl = Main->ModelRef().SwDl;
  for (const auto& [n, old, now] : {std::tuple{"1", "3", "2"}, std::tuple{"5", "50000", "60000"}}) {
    swdl.AppendParNumber(n);
    swdl.AppendPreviousValue(old);
    swdl.AppendNewValue(now);
  }
  swdl.ParameterTableChanged = true;
  // The channel counts the two parameters read back with its run status.
  Script.RunStatus.DoneUnits = 2;
  swdl.SetRunStatus(Script.RunStatus);
  Main->ViewStateChanged();
  EXPECT_EQ(g.Cell(3, 1), "3");
  EXPECT_EQ(g.Cell(4, 1), "2");
  EXPECT_EQ(g.Cell(3, 2), "50000");
  EXPECT_EQ(g.Cell(3, 3), "50000");
  EXPECT_EQ(g.Cell(4, 3), "60000");
  EXPECT_EQ(g.Cell(4, 4), "");
  EXPECT_EQ(w.pbProgress->value(), 2);
  EXPECT_EQ(swdl.ParameterResultCount(), 0u) << "the view empties the lists it copied";

  // A new result for the parameter of row 1 first blanks Old and New.
  swdl.AppendParNumber("1");
  swdl.AppendPreviousValue("2");
  swdl.ParameterTableChanged = true;
  Main->ViewStateChanged();
  EXPECT_EQ(g.Cell(3, 1), "2");
  EXPECT_EQ(g.Cell(4, 1), "");
  EXPECT_EQ(g.Cell(3, 2), "");
  EXPECT_EQ(g.Cell(4, 3), "");
}

TEST_F(GuiTest, ParameterNumbersAboveSixteenBitsAreNamedAsSkipped) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Parameters from PC to device\r\n");
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  WriteFile("par.txt", "Par.1:5\r\nPar.70000:1\r\nPar.3:4\r\nPar.65536:2\r\n");
  Dialogs.OpenNames.push_back(Path("par.txt"));
  w.bOpen->click();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_NE(Dialogs.Messages[0].Text.find("Lines 2 and 4"), std::string::npos) << Dialogs.Messages[0].Text;
  EXPECT_NE(Dialogs.Messages[0].Text.find("will be skipped"), std::string::npos);
  EXPECT_EQ(Dialogs.Messages[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(Script.Commands(), std::vector<int>{1}) << "the file is loaded all the same";
}

class UploadTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Parameters from device to PC - TEST\r\n");
  }
  TFrSerSwDlVCL& W() { return DownloadView().Widgets(); }
  // Lines from the device, as the channel's status hand-over passes them on.
  void Receive(const std::vector<std::string>& lines) {
    for (const std::string& l : lines) Main->ModelRef().SwDl.AddReceivedLine(l);
    Main->ViewStateChanged();
  }
  void GetAndStop(const std::vector<std::string>& lines) {
    ASSERT_EQ(W().bDownload->text(), "Get from device");
    W().bDownload->click();
    ASSERT_EQ(W().bDownload->text(), "Stop");
    Receive(lines);
    W().bDownload->click();
    ASSERT_EQ(W().bDownload->text(), "Get from device");
  }
};

TEST_F(UploadTest, GetFromDeviceThenStopFillsTheGridAndStoresTheLines) {
  EXPECT_FALSE(W().bOpen->isVisibleTo(&W())) << "nothing to save yet";
  W().bDownload->click();
  EXPECT_EQ(Script.Commands(), std::vector<int>{1});
  EXPECT_EQ(W().bDownload->text(), "Stop");
  EXPECT_FALSE(W().cbOperation->isEnabled());
  Receive({"Par.12: Zero tracking :3", "header"});
  Receive({"Par.13: Zero range :2"});
  EXPECT_EQ(W().mHexFile->Lines(), (std::vector<std::string>{"Par.12: Zero tracking :3", "header", "Par.13: Zero range :2"}));
  EXPECT_EQ(W().sgBinData->Cell(0, 1), "") << "the grid fills when the reception stops";

  W().bDownload->click();
  EXPECT_EQ(Script.Commands(), (std::vector<int>{1, 0}));
  TStringGrid& g = *W().sgBinData;
  EXPECT_EQ(g.RowCount(), 3);
  EXPECT_EQ(g.Cell(0, 1), "12");
  EXPECT_EQ(g.Cell(1, 1), "Zero tracking");
  EXPECT_EQ(g.Cell(2, 2), "2");
  EXPECT_EQ(ReadFile("CPSTORE.TXT"), "Par.12: Zero tracking :3\r\nheader\r\nPar.13: Zero range :2\r\n");
  EXPECT_TRUE(W().bOpen->isVisibleTo(&W()));
  EXPECT_EQ(W().bOpen->text(), "Save");
}

TEST_F(UploadTest, NewReceptionOverUnsavedRowsAsksFirst) {
  GetAndStop({"Par.1:5"});
  Dialogs.Answers.push_back(mbNo);
  W().bDownload->click();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Text, "Previous received data not save. Get new data?");
  EXPECT_EQ(Dialogs.Messages[0].Caption, "Data from Device");
  EXPECT_EQ(Dialogs.Messages[0].Buttons, mbYes | mbNo);
  EXPECT_EQ(Script.Commands(), (std::vector<int>{1, 0})) << "No starts nothing";

  Dialogs.Answers.push_back(mbYes);
  W().bDownload->click();
  EXPECT_EQ(Script.Commands(), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(W().mHexFile->Count(), 0) << "a new reception empties memo and grid";
  EXPECT_EQ(W().sgBinData->Cell(0, 1), "");
}

TEST_F(UploadTest, SaveAsksBeforeOverwritingAndCancelShowsTheDialogAgain) {
  GetAndStop({"Par.1:5", "Par.2:6"});
  WriteFile("taken.txt", "old");

  // Cancel to the question shows the dialog again; cancelling that saves nothing.
  Dialogs.SaveNames = {Path("taken.txt"), std::nullopt};
  Dialogs.Answers = {mbCancel};
  W().bOpen->click();
  ASSERT_EQ(Dialogs.SaveRequests.size(), 2u);
  EXPECT_EQ(Dialogs.SaveRequests[0].FileName, "");
  EXPECT_EQ(Dialogs.SaveRequests[1].FileName, Path("taken.txt")) << "shown again with the name chosen";
  EXPECT_EQ(Dialogs.SaveRequests[0].DefaultExt, "TXT");
  EXPECT_EQ(Dialogs.SaveRequests[0].Filter, "Text files (*.txt)|*.TXT");
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Text, "File:\r\n" + Path("taken.txt") + "\r\nexists. Overwrite?");
  EXPECT_EQ(Dialogs.Messages[0].Caption, "Error");
  EXPECT_EQ(Dialogs.Messages[0].Buttons, mbOK | mbCancel);
  EXPECT_EQ(ReadFile("taken.txt"), "old");
  EXPECT_TRUE(W().eFileName->text().isEmpty());

  // OK overwrites; the name is kept, so the next reception starts unasked.
  Dialogs.SaveNames = {Path("taken.txt")};
  Dialogs.Answers = {mbOK};
  W().bOpen->click();
  EXPECT_EQ(ReadFile("taken.txt"), "Par.1:5\r\nPar.2:6\r\n");
  EXPECT_EQ(W().eFileName->text().toStdString(), Path("taken.txt"));
  EXPECT_EQ(Main->ModelRef().SwDl.DisplayFileName(), Path("taken.txt"));
  const size_t asked = Dialogs.Messages.size();
  W().bDownload->click();
  EXPECT_EQ(Dialogs.Messages.size(), asked);
  EXPECT_EQ(W().bDownload->text(), "Stop");
  EXPECT_TRUE(W().eFileName->text().isEmpty()) << "a new reception clears the name";
}

TEST_F(UploadTest, SavingToANewFileAsksNothing) {
  GetAndStop({"Par.7:1"});
  Dialogs.SaveNames = {Path("new.txt")};
  W().bOpen->click();
  EXPECT_TRUE(Dialogs.Messages.empty());
  EXPECT_EQ(ReadFile("new.txt"), "Par.7:1\r\n");
}
