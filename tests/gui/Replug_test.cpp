// The cable to a simulated K7310 pulled and plugged in again while the
// desktop app runs, through its views: during a download (OK clicked while
// the cable is still out, or after it is back) and while idle. One box per
// failure; the view shows the run as ended and the channel waiting, not
// running; it becomes ready by itself once the cable is back; the next
// download verifies, read from the simulator's flash.
#include <QProgressBar>
#include <cstdlib>
#include <iostream>

#include "comm/Channelcodes.h"
#include "core/Model.h"
#include "sim/Simulators.h"
#include "tests/gui/Guifixture.h"
#include "tests/gui/Hexsamples.h"
#include "tests/support/Cable.h"
#include "tests/support/Eventloop.h"
#include "views/Frameserswdl.h"

namespace {

struct ReplugCase {
  const char* Name;
  bool DuringRun;      // pulled in the middle of a download, else while ready
  bool OkAfterReplug;  // the run's box is answered once the cable is back
  int Boxes;
};

void PrintTo(const ReplugCase& c, std::ostream* out) { *out << c.Name; }

class ReplugTest : public GuiTest, public ::testing::WithParamInterface<ReplugCase> {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    SimOptions options;
    options.Awake = true;
    Sim = MakeSimulator(SimKind::K7310, options);
    std::string error;
    ASSERT_TRUE(Sim->Start(error)) << error;
    Cable = std::make_unique<TCable>(Path("ttyCABLE0"), Sim->SlavePath());
    ASSERT_TRUE(Cable->Plug());
  }
  void TearDown() override {
    DestroyMain();
    Cable.reset();
    if (Sim) Sim->Stop();
    GuiTest::TearDown();
  }

  std::string StateShown() { return DownloadView().Widgets().eState->text().toStdString(); }

  std::unique_ptr<SimDevice> Sim;
  std::unique_ptr<TCable> Cable;
};

TEST_P(ReplugTest, OneBoxTheViewWaitsAndReturnsToReadyByItselfAndTheNextDownloadVerifies) {
  const ReplugCase& c = GetParam();
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\nPORT=7\r\n[PORTS]\r\nCOM7=" +
                Cable->Path() + "\r\n[Software Download - K7310]\r\nBAUDRATE=115200\r\n",
            false);
  TFrSerSwDlVCL& w = DownloadView().Widgets();
  TModel& model = Main->ModelRef();
  // A main processor part alone: the run ends without the final reboot, and
  // the state text reads the same before and after it.
  const std::vector<int> data = Counting(0x3000, 7);
  WriteFile("fw.hex", HexText(0x08000000, data));
  Dialogs.OpenNames.push_back(Path("fw.hex"));
  w.bOpen->click();
  ASSERT_TRUE(RunUntil([&] { return StateShown() == "Ready for download"; }));

  if (c.DuringRun) {
    if (c.OkAfterReplug) Dialogs.WhileShown = [this](const TShownMessage&) { ASSERT_TRUE(Cable->Plug()); };
    w.bDownload->click();
    ASSERT_EQ(w.bDownload->text(), "Abort");
    ASSERT_TRUE(RunUntil([&] { return Sim->Received().size() > 4000; }, 30000));
  }
  Cable->Unplug();

  if (!c.OkAfterReplug) {
    // The channel waits for its port: "Error!" and why; nothing to abort,
    // and the combo boxes and menus are there for the technician.
    ASSERT_TRUE(RunUntil(
        [&] { return model.ChannelState() == CmState::PortAbsent && StateShown().find("does not exist") != std::string::npos; },
        20000))
        << StateShown();
    EXPECT_EQ(StateShown().rfind("Error! COM7 (" + Cable->Path() + ") does not exist: check that the adapter is plugged in.", 0), 0u)
        << StateShown();
    EXPECT_EQ(w.bDownload->text(), "Download");
    EXPECT_TRUE(w.cbOperation->isEnabled());
    EXPECT_TRUE(w.cbConnectionType->isEnabled());
    EXPECT_TRUE(Main->MIView->menuAction()->isVisible());
    EXPECT_EQ(w.pbProgress->isVisible(), c.DuringRun);
    if (c.DuringRun) {
      EXPECT_EQ(w.pbProgress->format(), "Failed");
    }
    RunFor(2500);  // two attempts to open: no box of their own
    EXPECT_EQ(static_cast<int>(Dialogs.Messages.size()), c.Boxes) << ::testing::PrintToString(Dialogs.Texts());
    ASSERT_TRUE(Cable->Plug());
  }

  // Ready again without a click.
  ASSERT_TRUE(RunUntil([&] { return StateShown() == "Ready for download"; }, 20000)) << StateShown();
  EXPECT_EQ(w.bDownload->text(), "Download");
  ASSERT_EQ(static_cast<int>(Dialogs.Messages.size()), c.Boxes) << ::testing::PrintToString(Dialogs.Texts());
  if (c.Boxes > 0) {
    EXPECT_EQ(Dialogs.Messages[0].Text.rfind("Communication: ", 0), 0u) << Dialogs.Messages[0].Text;
    EXPECT_EQ(Dialogs.Messages[0].Text.find("Invalid Handle"), std::string::npos);
  }

  // The next download verifies and says so.
  Dialogs.WhileShown = {};
  w.bDownload->click();
  ASSERT_TRUE(RunUntil([&] { return w.pbProgress->isVisible() && w.pbProgress->format() == "Done: verified"; }, 60000))
      << StateShown();
  EXPECT_EQ(StateShown(), "Ready for download");
  EXPECT_EQ(w.pbProgress->value(), w.pbProgress->maximum());
  EXPECT_EQ(static_cast<int>(Dialogs.Messages.size()), c.Boxes);

  const std::string log = ReadFile("LOG.TXT");
  if (c.DuringRun) {
    EXPECT_NE(log.find("fw.hex, COM7: failed: Communication: "), std::string::npos) << log;
  }
  EXPECT_NE(log.find("fw.hex, COM7: verified, 12288 bytes, "), std::string::npos) << log;
  DestroyMain();
  if (std::getenv("QMSS_PRINT_LOG")) std::cout << ReadFile("LOG.TXT");

  // The flash holds the image, then erased bytes.
  Sim->Stop();
  std::string error;
  ASSERT_TRUE(Sim->Dump(Path("dump"), error)) << error;
  const std::string flash = ReadFile(Path("dump/main.bin"));
  ASSERT_GE(flash.size(), data.size() + 16);
  for (size_t i = 0; i < data.size(); ++i)
    ASSERT_EQ(static_cast<uint8_t>(flash[i]), static_cast<uint8_t>(data[i])) << "at " << i;
  EXPECT_EQ(flash.substr(data.size(), 16), std::string(16, '\xFF'));
}

INSTANTIATE_TEST_SUITE_P(
    Cable, ReplugTest,
    ::testing::Values(ReplugCase{"PulledWhileIdle", false, false, 0},
                      ReplugCase{"PulledDuringADownloadOkWhileOut", true, false, 1},
                      ReplugCase{"PulledDuringADownloadOkOnceBack", true, true, 1}),
    [](const ::testing::TestParamInfo<ReplugCase>& param) { return std::string(param.param.Name); });

}  // namespace
