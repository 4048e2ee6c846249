// The program's own start-up (the test program starts through it): exact
// window titles, menus without stray check boxes, and Help, About.
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/Aboutbox.h"
#include "app/Fdlgconfig.h"
#include "comm/Portaccess.h"
#include "files/Version.h"
#include "tests/gui/Guifixture.h"
#include "tests/support/Eventloop.h"

TEST_F(GuiTest, TitlesAreExactlyTheCaptions) {
  // A display name of its own would be appended by the toolkit to every
  // title the window manager shows.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  EXPECT_EQ(QCoreApplication::applicationName(), "QMScaleService");
  EXPECT_EQ(QApplication::font().pixelSize(), 11) << "the forms' font from the start-up";

  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\n");
  EXPECT_EQ(Main->windowTitle(), "QMScaleService.091116.1.7");
  EXPECT_EQ(Closing->windowTitle(), "Afslutter");

  QString settingsTitle;
  QTimer::singleShot(0, [&] {
    if (TDlgConfig* d = Main->SettingsDialog()) {
      settingsTitle = d->windowTitle();
      d->BCancelClick();
    }
  });
  Main->MIViewSettings->trigger();
  EXPECT_EQ(settingsTitle, "Configuration");

  // A message box of the toolkit, as File, Exit shows it; No keeps the window.
  SetDialogs(nullptr);
  QString boxTitle;
  QString boxText;
  QTimer::singleShot(100, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxTitle = box->windowTitle();
      boxText = box->text();
      box->button(QMessageBox::No)->click();
    }
  });
  Main->MIFileExit->trigger();
  SetDialogs(&Dialogs);
  EXPECT_EQ(boxTitle, "Close");
  EXPECT_EQ(boxText, "Close communication?");
  EXPECT_TRUE(Main->isVisible());
}

TEST_F(GuiTest, OnlyTheItemsTheFormsCheckAreCheckable) {
  StartMain("[CONFIG]\r\nTOOLMENU=1\r\n");
  QStringList checkable;
  for (QAction* menu : Main->menuBar()->actions())
    for (QAction* item : menu->menu()->actions())
      if (item->isCheckable()) checkable << item->objectName();
  EXPECT_EQ(checkable, (QStringList{"MIViewSwDl", "MITotalHexFile"}));
}

TEST_F(GuiTest, HelpAboutSaysWhatThisIsAndWhereItKeepsItsThings) {
  StartMain("[CONFIG]\r\nTOOLMENU=1\r\n");
  QStringList menus;
  for (QAction* menu : Main->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus, (QStringList{"&File", "&View", "&Tools", "&Help"}));

  QString title;
  QString text;
  QTimer::singleShot(0, [&] {
    if (auto* box = dynamic_cast<TAboutBox*>(Main->AboutBox())) {
      title = box->windowTitle();
      text = box->lText->text();
      box->BOk->click();
    }
  });
  Main->MIHelpAbout->trigger();
  EXPECT_EQ(Main->AboutBox(), nullptr);
  EXPECT_EQ(title, "About");
  const std::string about = text.toStdString();
  for (const std::string& expected :
       {std::string("Version ") + QMSS_VERSION, std::string("commit ") + QMSS_BUILD_COMMIT,
        std::string(QMSS_BUILD_DATE), std::string("Qt ") + qVersion(), "INI file: " + Path("QMScaleService.INI"),
        "Log file: " + Path("LOG.TXT"), std::string("COM1-COM32: /dev/ttyS0-31"),
        std::string("COM33-COM64: /dev/ttyUSB0-31"), "COM200: " + Pty.SlavePath()})
    EXPECT_NE(about.find(expected), std::string::npos) << "\"" << expected << "\" missing from\n" << about;
}

// A user who may open no serial device is told once what to do about it; the
// INI remembers that the box was shown, so the next start stays quiet.
TEST_F(GuiTest, SerialAccessHintIsShownOnceWhenNoDeviceMayBeOpened) {
  struct Restore {
    ~Restore() { SetSerialAccessCheck(nullptr); }
  } restore;
  auto hints = [this] {
    int n = 0;
    for (const TShownMessage& m : Dialogs.Messages) n += m.Caption == "Serial ports";
    return n;
  };

  SetSerialAccessCheck([] { return false; });
  StartMain();
  EXPECT_EQ(hints(), 0) << "a user with access sees no hint";
  DestroyMain();

  SetSerialAccessCheck([] { return true; });
  StartMain();
  ASSERT_EQ(hints(), 1);
  const TShownMessage& hint = Dialogs.Messages.back();
  EXPECT_NE(hint.Text.find("dialout"), std::string::npos);
  EXPECT_NE(hint.Text.find("udev rule"), std::string::npos);
  EXPECT_EQ(hint.Buttons, mbOK);
  DestroyMain();
  const std::string ini = ReadFile("QMScaleService.INI");
  EXPECT_NE(ini.find("SERIALHINTSHOWN=1"), std::string::npos);

  StartMain(ini, true, false);
  EXPECT_EQ(hints(), 1) << "shown once only";
}
