// The settings dialog as the main window opens it from View, Settings.
#include <QTimer>
#include <functional>

#include "app/Fdlgconfig.h"
#include "comm/Portmap.h"
#include "core/Model.h"
#include "tests/gui/Guifixture.h"
#include "tests/support/Eventloop.h"
#include "views/Frameserswdl.h"
#include "views/Framestart.h"

class SettingsTest : public GuiTest {
 protected:
  // Opens the dialog from the menu; act runs while it is shown and closes it.
  void WithDialog(const std::function<void(TDlgConfig&)>& act) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      TDlgConfig* dialog = Main->SettingsDialog();
      ASSERT_NE(dialog, nullptr);
      ran = true;
      act(*dialog);
      if (dialog->isVisible()) dialog->BCancelClick();
    });
    Main->MIViewSettings->trigger();
    EXPECT_TRUE(ran);
    EXPECT_EQ(Main->SettingsDialog(), nullptr) << "the dialog lives only while it is shown";
  }
  static QStringList Items(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
  }
  std::string Ports(const std::string& extra = "") {
    return "[PORTS]\r\nCOM6=" + Pty.SlavePath() + "\r\nCOM200=" + Pty.SlavePath() + "\r\n" + extra;
  }
};

TEST_F(SettingsTest, PortSixIsNeverListedAndTheConfiguredPortAlwaysIs) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nPORT=200\r\n" + Ports());
  Main->Config.Port = 150;  // configured, but nothing opens as COM150
  WithDialog([&](TDlgConfig& d) {
    EXPECT_EQ(d.windowTitle(), "Configuration");
    EXPECT_EQ(d.size(), QSize(862, 606));
    const QStringList ports = Items(d.cbPort);
    EXPECT_FALSE(ports.contains("COM6")) << ports.join(' ').toStdString();
    EXPECT_TRUE(ports.contains("COM200"));
    EXPECT_EQ(d.cbPort->currentText(), "COM150");
    EXPECT_TRUE(d.cbPort->isEnabled());
    EXPECT_EQ(Items(d.cbMode), (QStringList{"None", "Serial"}));
    EXPECT_EQ(d.cbMode->currentIndex(), 1);
    EXPECT_EQ(d.BOk->text(), "&Apply");
    EXPECT_EQ(d.BCancel->text(), "&Cancel");
  });
}

TEST_F(SettingsTest, ApplyingUnchangedValuesRestartsNothingAndAChangeRestarts) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\n" + Ports());
  WithDialog([](TDlgConfig& d) { d.BOkClick(); });
  EXPECT_FALSE(Main->RestartPending);

  WithDialog([](TDlgConfig& d) {
    d.cbPort->setCurrentIndex(d.cbPort->findText("COM200"));
    GuiTest::Choose(d.cbMode, 0);
    EXPECT_EQ(Items(d.cbPort), QStringList{"None"});
    EXPECT_FALSE(d.cbPort->isEnabled());
    GuiTest::Choose(d.cbMode, 1);
    EXPECT_TRUE(d.cbPort->isEnabled()) << "back to Serial probes the ports again";
    EXPECT_TRUE(Items(d.cbPort).contains("COM200"));
    GuiTest::Choose(d.cbMode, 0);
    d.BOkClick();
  });
  EXPECT_TRUE(Main->RestartPending);
  EXPECT_EQ(Main->Config.Connection, 0);
  EXPECT_EQ(Main->Config.Port, 0);
  StartView();  // as "None" in the view's own combo box
  ASSERT_TRUE(WaitForRestart());

  // Cancel leaves everything as it was.
  WithDialog([](TDlgConfig& d) {
    GuiTest::Choose(d.cbMode, 1);
    d.BCancelClick();
  });
  EXPECT_FALSE(Main->RestartPending);
  EXPECT_EQ(Main->Config.Connection, 0);
}

struct LineSettingsCase {
  int Operation;
  bool Baud;
  bool Parity;
};

class LineSettingsTest : public SettingsTest, public ::testing::WithParamInterface<LineSettingsCase> {};

TEST_P(LineSettingsTest, BaudForTheTrx5170lParityForTheUploadsInItsPlace) {
  const LineSettingsCase& c = GetParam();
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\n" + Ports());
  OpenDownloadView(c.Operation);
  WithDialog([&](TDlgConfig& d) {
    EXPECT_EQ(d.cbBaudRate->isVisibleTo(&d), c.Baud);
    EXPECT_EQ(d.lBaudrate->isVisibleTo(&d), c.Baud);
    EXPECT_EQ(d.cbParity->isVisibleTo(&d), c.Parity);
    EXPECT_EQ(d.lParity->isVisibleTo(&d), c.Parity);
    if (c.Parity) {
      EXPECT_EQ(d.cbParity->x(), 280) << "parity takes the place of the hidden baud rate";
      EXPECT_EQ(d.lParity->x(), 224);
      EXPECT_EQ(Items(d.cbParity), (QStringList{"N(one)", "E(ven)"}));
      EXPECT_EQ(d.cbParity->currentText(), "E(ven)");
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Operations, LineSettingsTest,
                         ::testing::Values(LineSettingsCase{0, false, false}, LineSettingsCase{1, false, false},
                                           LineSettingsCase{2, true, false}, LineSettingsCase{3, false, false},
                                           LineSettingsCase{4, false, true}, LineSettingsCase{5, false, true}));

TEST_F(SettingsTest, ABaudRateNotInTheListSelectsNothingAndApplies1200) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - TRX5170L\r\n"
            "[Software Download - TRX5170L]\r\nBAUDRATE=4800\r\n" + Ports());
  WithDialog([](TDlgConfig& d) {
    EXPECT_EQ(d.cbBaudRate->currentIndex(), -1);
    EXPECT_EQ(Items(d.cbBaudRate),
              (QStringList{"1200", "2400", "9600", "14400", "19200", "38400", "57600", "115200"}));
    d.BOkClick();
  });
  EXPECT_EQ(Main->ModelRef().SwDl.GetBaudRate(), 1200);
  EXPECT_TRUE(Main->RestartPending);
  ASSERT_TRUE(WaitForRestart());

  WithDialog([](TDlgConfig& d) {
    EXPECT_EQ(d.cbBaudRate->currentText(), "1200");
    d.cbBaudRate->setCurrentIndex(d.cbBaudRate->findText("57600"));
    d.BOkClick();
  });
  EXPECT_EQ(Main->ModelRef().SwDl.GetBaudRate(), 57600);
  ASSERT_TRUE(WaitForRestart());
}

TEST_F(SettingsTest, AChangedParityIsStoredForTheUploadOperation) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Parameters from device to PC - DOWNLOAD\r\n" + Ports());
  WithDialog([](TDlgConfig& d) {
    d.cbParity->setCurrentIndex(0);
    d.BOkClick();
  });
  EXPECT_EQ(Main->ModelRef().SwDl.GetParity(), 'N');
  EXPECT_TRUE(Main->RestartPending);
  ASSERT_TRUE(WaitForRestart());
}

TEST_F(SettingsTest, WithoutAnyPortTheModeIsForcedToNone) {
  // Every COM number points at nothing.
  std::string ports = "[PORTS]\r\n";
  for (int n = 1; n <= 256; ++n) ports += "COM" + std::to_string(n) + "=/nonexistent/tty\r\n";
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nPORT=5\r\n" + ports, true, false);
  EXPECT_EQ(Main->Config.Connection, 0) << "no port at start: connection None, port 0";
  EXPECT_EQ(Main->Config.Port, 0);
  StartView();
  WithDialog([](TDlgConfig& d) {
    EXPECT_EQ(d.cbMode->currentIndex(), 0);
    EXPECT_FALSE(d.cbMode->isEnabled());
    EXPECT_EQ(Items(d.cbPort), QStringList{"None"});
  });
}

TEST_F(SettingsTest, ModeNoneGivesTheStartViewAndSerialAfterItProbesAPort) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Software Download - K7310\r\n" + Ports());
  WithDialog([](TDlgConfig& d) {
    GuiTest::Choose(d.cbMode, 0);
    d.BOkClick();
  });
  EXPECT_EQ(Main->Config.Port, 0);
  StartView();
  EXPECT_EQ(StartView().Widgets().cbConnectionType->currentIndex(), 0);
  ASSERT_TRUE(WaitForRestart());

  // "Serial" in the start view: a port that opens, not COM0.
  Choose(StartView().Widgets().cbConnectionType, 1);
  ASSERT_TRUE(WaitForRestart());
  EXPECT_GT(Main->Config.Port, 0);
  EXPECT_TRUE(ComPortOpens(Main->Config.Port));
  EXPECT_TRUE(DownloadView().Widgets().cbOperation->isEnabled());
  EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.Texts().front();

  // And Mode "Serial" from the start view gives the download view.
  WithDialog([](TDlgConfig& d) {
    GuiTest::Choose(d.cbMode, 0);
    d.BOkClick();
  });
  ASSERT_TRUE(WaitForRestart());
  WithDialog([](TDlgConfig& d) {
    GuiTest::Choose(d.cbMode, 1);
    d.cbPort->setCurrentIndex(d.cbPort->findText("COM200"));
    d.BOkClick();
  });
  DownloadView();
  EXPECT_EQ(Main->Config.Port, 200);
  ASSERT_TRUE(WaitForRestart());
}

struct ParityCase {
  const char* InIni;   // the PARITY value at start
  char Letter;         // what the model holds
};

class KeptParityTest : public SettingsTest, public ::testing::WithParamInterface<ParityCase> {};

TEST_P(KeptParityTest, ApplyWithoutAParityChoiceKeepsTheLetterAndTheIniGetsNoNul) {
  const ParityCase& c = GetParam();
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nOPERATION=Parameters from device to PC - DOWNLOAD\r\n"
            "[Parameters from device to PC - DOWNLOAD]\r\nPARITY=" + std::string(c.InIni) + "\r\n" + Ports());
  ASSERT_EQ(Main->ModelRef().SwDl.GetParity(), c.Letter);
  WithDialog([](TDlgConfig& d) {
    EXPECT_EQ(d.cbParity->currentIndex(), -1) << "a letter the list cannot show";
    d.BOkClick();
  });
  EXPECT_EQ(Main->ModelRef().SwDl.GetParity(), c.Letter);
  EXPECT_FALSE(Main->RestartPending) << "nothing changed";
  DestroyMain();
  const std::string ini = ReadFile("QMScaleService.INI");
  EXPECT_EQ(ini.find('\0'), std::string::npos);
  const std::string section = "[Parameters from device to PC - DOWNLOAD]\r\n";
  const size_t at = ini.find(section);
  ASSERT_NE(at, std::string::npos);
  EXPECT_NE(ini.find("PARITY=" + std::string(c.InIni) + "\r\n", at), std::string::npos) << ini;
}

INSTANTIATE_TEST_SUITE_P(Letters, KeptParityTest,
                         ::testing::Values(ParityCase{"O", 'O'}, ParityCase{"M", 'M'}, ParityCase{"", '\0'}));

TEST_F(SettingsTest, EachPortEntryNamesItsDevice) {
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\n" + Ports("COM150=/dev/qmss-no-such-port\r\n"));
  Main->Config.Port = 150;  // listed, though it does not open
  WithDialog([&](TDlgConfig& d) {
    const int pty = d.cbPort->findText("COM200");
    ASSERT_GE(pty, 0);
    const QString tip = d.cbPort->itemData(pty, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(QString::fromStdString(Pty.SlavePath()))) << tip.toStdString();
    EXPECT_TRUE(tip.contains("No adapter information in sysfs")) << tip.toStdString();
    const QString missing = d.cbPort->itemData(d.cbPort->findText("COM150"), Qt::ToolTipRole).toString();
    EXPECT_EQ(missing, "/dev/qmss-no-such-port\nNot present");
    EXPECT_EQ(d.cbPort->toolTip(), missing) << "the selected entry's";
  });
}

TEST_F(SettingsTest, SerialWithoutAnyPortStaysAtTheStartViewAndSaysWhatToDo) {
  std::string ports = "[PORTS]\r\n";
  for (int n = 1; n <= 256; ++n) ports += "COM" + std::to_string(n) + "=/nonexistent/tty\r\n";
  StartMain("[CONFIG]\r\nCONNECTION=None\r\nPORT=0\r\n" + ports, true, false);
  Choose(StartView().Widgets().cbConnectionType, 1);
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Dialogs.Messages[0].Text,
            "No serial port could be opened. Connect the adapter, then choose \"Serial\" again.");
  EXPECT_EQ(Main->Config.Connection, 0);
  EXPECT_EQ(StartView().Widgets().cbConnectionType->currentIndex(), 0);
  ASSERT_TRUE(WaitForRestart());
}
