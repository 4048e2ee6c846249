#include "app/Mainform.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <filesystem>

#include "app/Aboutbox.h"
#include "app/Abortdownload.h"
#include "app/Commclos.h"
#include "app/Dialogs.h"
#include "app/Fdlgconfig.h"
#include "app/Qthostloop.h"
#include "files/Inifile.h"
#include "files/Inipath.h"
#include "comm/Portaccess.h"
#include "comm/Portmap.h"
#include "core/Controller.h"
#include "core/Model.h"
#include "core/Operations.h"
#include "views/Framestart.h"
#include "views/Frameserswdl.h"
#include "views/Frametooltotalhex.h"

namespace {
constexpr int HighestProbedPort = 255;
// How often the window looks whether the channel went into or out of a
// transfer; channels flag only some of their state changes.
constexpr int TransferWatchMs = 50;

std::string LcKey(const char* prefix, int n) {
  char key[32];
  std::snprintf(key, sizeof key, "%s-%02d", prefix, n);
  return key;
}
}  // namespace

TFMain::TFMain(TChannelFactory channels, QWidget* parent) : QMainWindow(parent), THost(AppHostLoop()) {
  setObjectName("FMain");
  setWindowTitle(Caption);
  IniPath = IniFilePath();

  Client = new QWidget(this);
  Client->setObjectName("ClientArea");
  ClientLayout = new QVBoxLayout(Client);
  ClientLayout->setContentsMargins(0, 0, 0, 0);
  ClientLayout->setSpacing(0);
  auto* topBevel = new QFrame(Client);
  topBevel->setObjectName("TopBevel");
  topBevel->setFrameShape(QFrame::HLine);
  topBevel->setFrameShadow(QFrame::Sunken);
  topBevel->setFixedHeight(2);
  ClientLayout->addWidget(topBevel);
  setCentralWidget(Client);

  CreateMenus();
  FormCreate(std::move(channels));
}

TFMain::~TFMain() { FormDestroy(); }

void TFMain::CreateMenus() {
  MIFile = menuBar()->addMenu("&File");
  MIFile->setObjectName("MIFile");
  MIFileOpen = MIFile->addAction("&Open");
  MIFileOpen->setObjectName("MIFileOpen");
  MIFileOpen->setShortcut(QKeySequence("Ctrl+O"));
  MIFileOpen->setVisible(false);  // always hidden; does nothing
  MIFile->addSeparator();
  MIFileExit = MIFile->addAction("E&xit");
  MIFileExit->setObjectName("MIFileExit");
  MIFileExit->setShortcut(QKeySequence("Ctrl+X"));
  connect(MIFileExit, &QAction::triggered, this, [this] { MIFileExitClick(); });

  MIView = menuBar()->addMenu("&View");
  MIView->setObjectName("MIView");
  MIViewSwDl = MIView->addAction("Software &download");
  MIViewSwDl->setObjectName("MIViewSwDl");
  MIViewSwDl->setShortcut(QKeySequence("Ctrl+D"));
  MIViewSwDl->setCheckable(true);
  connect(MIViewSwDl, &QAction::triggered, this, [this] { MAViewSwDlExecute(); });
  MIView->addSeparator();
  MIViewSettings = MIView->addAction("&Settings");
  MIViewSettings->setObjectName("MIViewSettings");
  MIViewSettings->setShortcut(QKeySequence("Ctrl+S"));
  connect(MIViewSettings, &QAction::triggered, this, [this] { ViewSettingsExecute(); });

  mITools = menuBar()->addMenu("&Tools");
  mITools->setObjectName("mITools");
  MITotalHexFile = mITools->addAction("Total He&x File");
  MITotalHexFile->setObjectName("MITotalHexFile");
  MITotalHexFile->setCheckable(true);
  connect(MITotalHexFile, &QAction::triggered, this, [this] { MITotalHexFileClick(); });

  MIHelp = menuBar()->addMenu("&Help");
  MIHelp->setObjectName("MIHelp");
  MIHelpAbout = MIHelp->addAction("&About");
  MIHelpAbout->setObjectName("MIHelpAbout");
  connect(MIHelpAbout, &QAction::triggered, this, [this] { MIHelpAboutClick(); });
}

void TFMain::FormCreate(TChannelFactory channels) {
  resize(DesignWidth, DesignHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect s = screen->geometry();
    const int top = (s.height() - DesignHeight - 10) / 2;
    const int left = (s.width() - DesignWidth) / 2;
    move(left >= 0 ? left : x(), top >= 0 ? top : y());
  }

  CommEnded = false;
  CloseRequested = false;
  RestartPending = false;

  ModelPtr = std::make_unique<TModel>(*this);
  Model = ModelPtr.get();
  if (channels) ModelPtr->SetChannelFactory(std::move(channels));
  Controller = std::make_unique<TController>(*ModelPtr);

  ReadIniKeys();
  ProbePort();
  ShowSerialAccessHintOnce();

  // The log lies in the current directory; its full name is kept for the
  // About box.
  std::error_code error;
  const std::filesystem::path logPath = std::filesystem::absolute("LOG.TXT", error);
  LogPath = error ? std::string("LOG.TXT") : logPath.string();
  Log.Open();
  Log.WriteStartBanner();

  mITools->menuAction()->setVisible(ModelPtr->ToolMenu);
  MIViewSwDl->setVisible(ModelPtr->ToolMenu);
  MIFileOpen->setVisible(false);

  ModelPtr->Restart(Config);

  SelectConnection(Config.Connection, true, false);

  tmTransferWatch = new QTimer(this);
  tmTransferWatch->setInterval(TransferWatchMs);
  connect(tmTransferWatch, &QTimer::timeout, this, [this] { WatchTransfer(); });
  tmTransferWatch->start();
}

void TFMain::ReadIniKeys() {
  const TIniFile ini(IniPath);
  // Devices given by path ("PORTS": COM7=/dev/serial/by-id/...).
  SetComOverrides(ReadComOverrides(ini));

  const std::string connection = ini.ReadString("CONFIG", "CONNECTION", ConnectionNames[0]);
  Config.Connection = connection == ConnectionNames[1] ? 1 : 0;
  Config.Operation = ModelPtr->SwDl.GetOperation();
  Config.Port = ini.ReadInteger("CONFIG", "PORT", 1);
  for (int n = 1; n <= 6; ++n) {
    Config.LcZero[n - 1] = ini.ReadInteger("LCDATA", LcKey("LCZERO", n), 0);
    Config.LcCalFac[n - 1] = ini.ReadInteger("LCDATA", LcKey("LCCALFAC", n), 0x80000);
  }
  Config.LcNo = ini.ReadInteger("LCFAST", "LCNO", 1);
  ModelPtr->ToolMenu = ini.ReadBool("CONFIG", "TOOLMENU", false);
  SerialHintShown = ini.ReadBool("CONFIG", "SERIALHINTSHOWN", false);
}

void TFMain::ProbePort() {
  if (ComPortOpens(Config.Port)) return;
  for (int n = 1; n <= HighestProbedPort; ++n) {
    if (ComPortOpens(n)) {
      Config.Port = n;
      return;
    }
  }
  Config.Connection = 0;
  Config.Port = 0;
}

void TFMain::ShowSerialAccessHintOnce() {
  if (SerialHintShown || !SerialPortsDeniedToUser()) return;
  Dialogs().MessageBox(
      "This user may not open any serial port, so no scale can be reached.\n\n"
      "Either join the group dialout (sudo usermod -aG dialout $USER), then log out and in again; "
      "or install the udev rule of the qmscaleservice package, which gives the user at the seat "
      "the common USB serial adapters, then plug the adapter in again.\n\n"
      "This message is shown once.",
      "Serial ports", TMsgIcon::Information, mbOK);
  SerialHintShown = true;
}

void TFMain::WriteIniKeys() {
  TIniFile ini(IniPath);
  int32_t connection = Current ? Current->GetConnection() : Config.Connection;
  if (connection < 0 || connection > 1) connection = 0;
  ini.WriteString("CONFIG", "CONNECTION", ConnectionNames[connection]);
  ini.WriteInteger("CONFIG", "PORT", Config.Port);
  for (int n = 1; n <= 6; ++n) {
    ini.WriteInteger("LCDATA", LcKey("LCZERO", n), Config.LcZero[n - 1]);
    ini.WriteInteger("LCDATA", LcKey("LCCALFAC", n), Config.LcCalFac[n - 1]);
  }
  ini.WriteBool("CONFIG", "TOOLMENU", ModelPtr->ToolMenu);
  if (SerialHintShown) ini.WriteBool("CONFIG", "SERIALHINTSHOWN", true);
}

void TFMain::FormDestroy() {
  if (tmTransferWatch) tmTransferWatch->stop();
  WriteIniKeys();
  // The views go before the model: the download view's subscriptions are
  // cancelled on the model's texts, which must still exist then.
  Previous.reset();
  Current.reset();
  // The model writes its own keys and ends channel and thread.
  ModelPtr.reset();
  Model = nullptr;
  Controller.reset();
  Log.WriteStopBanner();
  Log.Close();
}

void TFMain::SetCommClosing(TCommClosing* dialog) { CommClosing = dialog; }

void TFMain::LogWrite(const std::string& text) { Log.Write(text); }

void TFMain::ShowError(const std::string& message) {
  Dialogs().MessageBox(message, ApplicationTitle, TMsgIcon::Error, mbOK);
}

void TFMain::ViewStateChanged() {
  if (Current) Current->StateChanged();
}

void TFMain::ViewUpdate() {
  if (Current) Current->Update();
}

void TFMain::CloseMainWindow() { close(); }

std::string TFMain::IniFileName() const { return IniPath; }

void TFMain::RequestRestart() {
  CloseRequested = false;
  RestartPending = true;
  ModelPtr->StopCommunication();
}

void TFMain::RetireCurrentView() {
  Previous.reset();
  Previous = std::move(Current);
  if (Previous) {
    ClientLayout->removeWidget(Previous->Widget());
    Previous->Widget()->hide();
  }
}

void TFMain::InstallView(std::unique_ptr<TFrBase> view) {
  Current = std::move(view);
  ClientLayout->addWidget(Current->Widget(), 1);
  Current->Widget()->show();
  Current->Update();
  Current->SetConnection(Config.Connection);
}

void TFMain::SelectConnection(int connection, bool force, bool restart) {
  if (connection == Config.Connection && !force) return;
  if (restart && !TransferMayEnd()) {
    // The view's combo box shows the connection still in force.
    if (Current) Current->SetConnection(Config.Connection);
    return;
  }
  SwitchConnection(connection, restart);
}

void TFMain::SwitchConnection(int connection, bool restart) {
  if (restart) RequestRestart();
  RetireCurrentView();
  const bool toSerial = connection == 1 && Config.Connection != 1;
  Config.Connection = connection == 1 ? 1 : 0;
  if (toSerial) {
    // After "None" the port is 0: probe as start-up does, so that the new
    // channel gets a port that opens.
    ProbePort();
    if (Config.Connection == 0)
      Dialogs().MessageBox("No serial port could be opened. Connect the adapter, then choose \"Serial\" again.",
                           "Error", TMsgIcon::Error, mbOK);
  }
  // Leaving the tool makes it reachable again from its menu.
  MITotalHexFile->setEnabled(true);
  MITotalHexFile->setChecked(false);
  if (Config.Connection == 1)
    InstallView(std::make_unique<TFrSerSwDl>(*this, *ModelPtr, *Controller));
  else
    InstallView(std::make_unique<TFrStart>(*this));
}

void TFMain::MITotalHexFileClick() {
  RetireCurrentView();
  InstallView(std::make_unique<TFrToolTotalHex>(*this, *ModelPtr, *Controller));
}

void TFMain::SelectOperation(int operation) {
  if (operation == Config.Operation) return;
  Config.Operation = ModelPtr->SwDl.GetOperation();
  RequestRestart();
  if (Current) Current->Update();
}

void TFMain::MAViewSwDlExecute() { SelectConnection(Config.Connection, true, true); }

bool TFMain::TransferMayEnd() {
  if (!ModelPtr->InTransfer()) return true;
  if (!AskAbortDownload()) return false;
  UASwDlAbort action;
  Controller->Execute(action);
  return true;
}

void TFMain::WatchTransfer() {
  if (!ModelPtr) return;
  // Whatever refreshes the controls sets the menu by the same rule, so a menu
  // that disagrees means the channel changed since.
  const bool transfer = ModelPtr->InTransfer();
  if (MIView->menuAction()->isVisible() == !transfer) return;
  MIView->menuAction()->setVisible(!transfer);
  if (Current) Current->TransferChanged();
}

void TFMain::MIHelpAboutClick() {
  TAboutBox box(this);
  About = &box;
  box.exec();
  About = nullptr;
}

void TFMain::ViewSettingsExecute() {
  TModelSwDl& swdl = ModelPtr->SwDl;
  TDlgConfigData record(Config);
  record.ParitySelectable = swdl.IsParameterUpload();
  record.BaudSelectable = swdl.IsTRX5170Download();
  record.Baud = swdl.GetBaudRate();
  record.Parity = swdl.GetParity();
  {
    TDlgConfig dialog(this, record);
    DlgConfig = &dialog;
    dialog.exec();
    DlgConfig = nullptr;
  }
  if (!record.Applied) return;
  const bool modeChanged = record.ModeIndex != Config.Connection;
  const bool portChanged = record.Port != Config.Port;
  const bool baudChanged = swdl.IsTRX5170Download() && record.Baud != swdl.GetBaudRate();
  const bool parityChanged = swdl.IsParameterUpload() && record.Parity != swdl.GetParity();
  if (!modeChanged && !portChanged && !baudChanged && !parityChanged) return;
  // The new settings restart the communication; No keeps the transfer and
  // the settings in force.
  if (!TransferMayEnd()) return;
  if (portChanged) Config.Port = record.Port;
  if (baudChanged) swdl.SetBaudRate(record.Baud);
  if (parityChanged) swdl.SetParity(record.Parity);
  // A new mode shows its view, as the view's own combo box does.
  if (modeChanged)
    SwitchConnection(record.ModeIndex, true);
  else
    RequestRestart();
}

void TFMain::MIFileExitClick() { close(); }

bool TFMain::FormCloseQuery() {
  if (RestartPending) return false;
  if (CommEnded) {
    if (CommClosing) CommClosing->close();
    return true;
  }
  if (Dialogs().MessageBox("Close communication?", "Close", TMsgIcon::Warning, mbYes | mbNo) == mbYes) {
    if (CommClosing) CommClosing->show();
    hide();
    ModelPtr->StopCommunication();
    CloseRequested = true;
  } else {
    CloseRequested = true;
    if (CommClosing) CommClosing->hide();
  }
  return false;
}

void TFMain::closeEvent(QCloseEvent* event) {
  if (FormCloseQuery()) {
    event->accept();
    emit Closed();
  } else {
    event->ignore();
  }
}

void TFMain::mousePressEvent(QMouseEvent* event) {
  // A click on the window's own surface (not on a view).
  if (event->button() == Qt::LeftButton) MAViewSwDlExecute();
  QMainWindow::mousePressEvent(event);
}
