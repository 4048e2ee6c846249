// The total hex file tool: loading the four parts, showing them, combining,
// the proposed save name and saving.
#include "core/Model.h"
#include "tests/gui/Guifixture.h"
#include "tests/gui/Hexsamples.h"
#include "views/Frametooltotalhex.h"
#include "views/Radiogroup.h"

namespace {

struct NameCase {
  const char* Main;
  const char* Proposed;
};

}  // namespace

class ProposedNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProposedNameTest, TBeforeTheMainFilesNameInItsFolder) {
  EXPECT_EQ(ProposedTotalFileName(GetParam().Main), GetParam().Proposed);
}

INSTANTIATE_TEST_SUITE_P(Names, ProposedNameTest,
                         ::testing::Values(NameCase{"/fw/main_v12.hex", "/fw/Tmain_v12.hex"},
                                           NameCase{"/fw/a.hex.hex", "/fw/Ta.hex"},
                                           NameCase{"/fw/noext", "/fw/Tnoext"},
                                           NameCase{"/main.hex", "/Tmain.hex"},
                                           NameCase{"", "T"}));

class TotalHexTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    StartMain();
    Main->MITotalHexFileClick();
    WriteFile("main_v12.hex", HexText(0x08000000, Counting(40, 0x10)));
    WriteFile("disp.hex", HexText(0x08000000, Counting(20, 0x20)));
    WriteFile("lc.hex", HexText(0x08000000, Counting(24, 0x30)));
    WriteFile("eth.hex", HexText(0x08000000, Counting(8, 0x40)));
  }
  TFrToolTotalHexVCL& W() { return ToolView().Widgets(); }
  void Load(QPushButton* button, const std::string& name) {
    Dialogs.OpenNames.push_back(Path(name));
    button->click();
  }
  void LoadAll() {
    Load(W().bLoadMain, "main_v12.hex");
    Load(W().bLoadDisp, "disp.hex");
    Load(W().bLoadLcComm, "lc.hex");
    Load(W().bLoadEthernet, "eth.hex");
  }
};

TEST_F(TotalHexTest, EachLoadShowsThatPartWithItsNameAndLength) {
  EXPECT_FALSE(W().BSave->isVisibleTo(&W()));
  EXPECT_EQ(W().rgDisplay->ItemIndex(), -1);
  struct Part {
    QPushButton* Button;
    const char* File;
    QLineEdit* Name;
    QLineEdit* Length;
    const char* LengthText;
    int Item;
    const char* Corner;
    const char* FirstByte;
  };
  const Part parts[] = {{W().bLoadMain, "main_v12.hex", W().eMainFile, W().eMainLength, "40", 0, "Main", "10"},
                        {W().bLoadDisp, "disp.hex", W().eDisplayFile, W().eDisplayLength, "20", 1, "Display", "20"},
                        {W().bLoadLcComm, "lc.hex", W().eLcCommFile, W().eLcCommLength, "24", 2, "LC. Comm.", "30"},
                        {W().bLoadEthernet, "eth.hex", W().eEthernetFile, W().eEthernetLength, "8", 3, "Ethernet", "40"}};
  for (const Part& p : parts) {
    Load(p.Button, p.File);
    EXPECT_EQ(p.Name->text().toStdString(), Path(p.File));
    EXPECT_EQ(p.Length->text(), p.LengthText);
    EXPECT_EQ(W().rgDisplay->ItemIndex(), p.Item);
    TStringGrid& g = *W().sgBinData;
    EXPECT_EQ(g.Cell(0, 0), p.Corner);
    EXPECT_EQ(g.Cell(0, 1), "08000000") << "each part is shown at its own link address";
    EXPECT_EQ(g.Cell(1, 1), p.FirstByte);
    EXPECT_EQ(g.RowCount(), QString(p.LengthText).toInt() / 16 + 2);
    EXPECT_EQ(W().mHexFile->Line(0), ":020000040800F2");
  }
  EXPECT_EQ(Dialogs.OpenRequests.back().Filter, "Intel HEX files (*.hex)|*.HEX");
  EXPECT_FALSE(W().BSave->isVisibleTo(&W()));
}

TEST_F(TotalHexTest, CombineBeepsWhileAPartIsMissingThenBuildsTheTotal) {
  Load(W().bLoadMain, "main_v12.hex");
  Load(W().bLoadDisp, "disp.hex");
  Load(W().bLoadEthernet, "eth.hex");
  // "Total" before any combination leaves the display as it is.
  W().rgDisplay->SetItemIndex(4);
  W().rgDisplayClick();
  EXPECT_EQ(W().rgDisplay->ItemIndex(), 3);
  EXPECT_EQ(W().sgBinData->Cell(0, 0), "Ethernet");

  W().BCombine->click();
  EXPECT_EQ(Dialogs.Beeps, 1);
  EXPECT_TRUE(Dialogs.Messages.empty());
  EXPECT_FALSE(Main->ModelRef().TotalHex.Combined);
  EXPECT_FALSE(W().BSave->isVisibleTo(&W()));

  Load(W().bLoadLcComm, "lc.hex");
  W().BCombine->click();
  EXPECT_EQ(Dialogs.Beeps, 1);
  EXPECT_EQ(W().rgDisplay->ItemIndex(), 4);
  TStringGrid& g = *W().sgBinData;
  EXPECT_EQ(g.Cell(0, 0), "Combined");
  EXPECT_TRUE(W().BSave->isVisibleTo(&W()));
  const int displayRow = 0x80000 / 16 + 1;
  EXPECT_EQ(g.Cell(0, displayRow), "08080000");
  EXPECT_EQ(g.Cell(1, displayRow), "20");
  EXPECT_EQ(g.Cell(1, 0xA0000 / 16 + 1), "40");
  EXPECT_EQ(g.Cell(8, 3), "37");
  EXPECT_EQ(g.Cell(9, 3), "xx") << "the gap after the main part";
  EXPECT_EQ(g.RowCount(), (0xA0000 + 8) / 16 + 2);

  // The parts can be shown again through the radio group.
  W().rgDisplay->SetItemIndex(1);
  W().rgDisplayClick();
  EXPECT_EQ(g.Cell(0, 0), "Display");
  EXPECT_EQ(g.RowCount(), 20 / 16 + 2);
}

TEST_F(TotalHexTest, ACombineTheModelRefusesShowsWhy) {
  // Display data past its 64 KiB would land in another processor's slot.
  WriteFile("wide.hex", HexText(0x08000000, Counting(16)) + HexText(0x08010000, Counting(16)));
  Load(W().bLoadMain, "main_v12.hex");
  Load(W().bLoadDisp, "wide.hex");
  ASSERT_EQ(Dialogs.Messages.size(), 1u) << "the load already names what was left out";
  EXPECT_NE(Dialogs.Messages[0].Text.find("0x08010000"), std::string::npos);
  Load(W().bLoadLcComm, "lc.hex");
  Load(W().bLoadEthernet, "eth.hex");
  W().BCombine->click();
  ASSERT_EQ(Dialogs.Messages.size(), 2u);
  EXPECT_EQ(Dialogs.Messages[1].Text, Main->ModelRef().TotalHex.Problem());
  EXPECT_FALSE(Dialogs.Messages[1].Text.empty());
  EXPECT_EQ(Dialogs.Messages[1].Icon, TMsgIcon::Warning);
  EXPECT_EQ(Dialogs.Beeps, 0);
  EXPECT_FALSE(Main->ModelRef().TotalHex.Combined);
}

TEST_F(TotalHexTest, SaveProposesTheNameAndAsksBeforeOverwriting) {
  LoadAll();
  W().BCombine->click();
  const std::string proposed = Path("Tmain_v12.hex");
  WriteFile("Tmain_v12.hex", "old");

  Dialogs.SaveNames = {proposed};
  Dialogs.Answers = {mbNo};
  W().BSave->click();
  ASSERT_EQ(Dialogs.SaveRequests.size(), 1u);
  EXPECT_EQ(Dialogs.SaveRequests[0].FileName, proposed);
  EXPECT_EQ(Dialogs.SaveRequests[0].DefaultExt, "HEX");
  EXPECT_EQ(Dialogs.SaveRequests[0].Filter, "Intel HEX files (*.hex)|*.HEX");
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Text, "File exists. Overwrite?");
  EXPECT_EQ(Dialogs.Messages[0].Caption, "Warning");
  EXPECT_EQ(Dialogs.Messages[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(Dialogs.Messages[0].Buttons, mbYes | mbNo);
  EXPECT_EQ(ReadFile("Tmain_v12.hex"), "old");

  Dialogs.SaveNames = {proposed};
  Dialogs.Answers = {mbYes};
  W().BSave->click();
  // The main file's lines, then the display file's with its address record
  // rewritten to 0808.
  const std::string saved = ReadFile("Tmain_v12.hex");
  const std::string mainText = ReadFile("main_v12.hex");
  EXPECT_EQ(saved.substr(0, mainText.size()), mainText);
  EXPECT_EQ(saved.substr(mainText.size(), 17), ":020000040808EA\r\n");
}

TEST_F(TotalHexTest, AMissingPartFileIsReportedAndAnEmptyPartShowsNoLength) {
  Dialogs.OpenNames.push_back(Path("nothere.hex"));
  W().bLoadLcComm->click();
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Text, "Could not open file");
  EXPECT_EQ(Dialogs.Messages[0].Caption, "Error");
  EXPECT_EQ(Dialogs.Messages[0].Icon, TMsgIcon::Error);
  EXPECT_TRUE(W().eLcCommFile->text().isEmpty());

  WriteFile("empty.hex", ":00000001FF\r\n");
  Load(W().bLoadEthernet, "empty.hex");
  EXPECT_EQ(W().eEthernetFile->text().toStdString(), Path("empty.hex"));
  EXPECT_TRUE(W().eEthernetLength->text().isEmpty());
  EXPECT_EQ(W().sgBinData->RowCount(), 2);
}

TEST_F(TotalHexTest, AnotherVisitShowsWhatWasLoadedBefore) {
  LoadAll();
  Main->MIViewSwDl->trigger();
  ASSERT_TRUE(WaitForRestart());
  Main->MITotalHexFileClick();
  EXPECT_EQ(W().eDisplayFile->text().toStdString(), Path("disp.hex"));
  EXPECT_EQ(W().eMainLength->text(), "40");
  EXPECT_FALSE(W().BSave->isVisibleTo(&W())) << "no total yet";
  EXPECT_EQ(W().rgDisplay->ItemIndex(), 3);
}
