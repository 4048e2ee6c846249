// Each widget test runs in a temporary folder of its own (the current
// directory, for LOG.TXT and CPSTORE.TXT) with its own INI file (QMSS_INI),
// scripted dialogs, and a pseudo-terminal mapped to COM200 so that the port
// probe always finds a port.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "app/Commclos.h"
#include "app/Mainform.h"
#include "views/Memo.h"
#include "views/Stringgrid.h"
#include "tests/gui/Recordingchannel.h"
#include "tests/gui/Scripteddialogs.h"
#include "tests/support/Pty.h"

class TFrSerSwDl;
class TFrStart;
class TFrToolTotalHex;

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the INI text (plus the COM200 mapping and PORT=200 unless the
  // text sets them) and creates the main window. With recording channels
  // every channel is a TRecordingChannel driven by Script; otherwise the
  // device channels serve.
  // With completeIni false the INI text is written as it stands.
  void StartMain(const std::string& iniText = "", bool recordingChannels = true, bool completeIni = true);
  // Destroys the main window (FormDestroy: INI keys, stop banner).
  void DestroyMain();
  // Waits until a restart asked for has completed.
  bool WaitForRestart(int timeoutMs = 20000);

  TFrStart& StartView();
  TFrSerSwDl& DownloadView();
  TFrToolTotalHex& ToolView();
  // Switches to the download view and picks the operation, as the user does.
  TFrSerSwDl& OpenDownloadView(int operation);

  std::string Path(const std::string& name) const;
  std::string ReadFile(const std::string& name) const;
  void WriteFile(const std::string& name, const std::string& text) const;

  // A user's pick in a combo box: selects the entry and fires its handler.
  static void Choose(QComboBox* box, int index);

  TScriptedDialogs Dialogs;
  TChannelScript Script;
  TestPty Pty;
  QTemporaryDir Dir;
  std::unique_ptr<TFMain> Main;
  std::unique_ptr<TCommClosing> Closing;
  int ClosedSignals = 0;

 private:
  QString OldCurrentDir;
};
