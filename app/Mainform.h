// The main window: owns the configuration record, the log, the model and
// controller, and the view in its client area; starts, restarts and stops the
// worker thread and coordinates that with closing the window.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>

#include "files/Logfile.h"
#include "core/Host.h"
#include "core/Model.h"

class QAction;
class QDialog;
class QTimer;
class QMenu;
class QVBoxLayout;
class TCommClosing;
class TController;
class TDlgConfig;
class TFrBase;

class TFMain : public QMainWindow, public THost {
  Q_OBJECT

 public:
  static constexpr const char* Caption = "QMScaleService.091116.1.7";
  static constexpr const char* ApplicationTitle = "Quelmark Electric Scale Service";
  static constexpr int DesignWidth = 1024;
  static constexpr int DesignHeight = 768;

  // FormCreate: reads the INI file, probes the port, opens the log, starts
  // the first channel and thread and shows the first view. A channel factory,
  // when given, builds every channel instead of the device channels (tests,
  // screenshots).
  explicit TFMain(TChannelFactory channels = {}, QWidget* parent = nullptr);
  // FormDestroy: writes the INI keys and the stop banner.
  ~TFMain() override;

  // THost.
  void LogWrite(const std::string& text) override;
  void ShowError(const std::string& message) override;
  void ViewStateChanged() override;
  void ViewUpdate() override;
  void CloseMainWindow() override;
  std::string IniFileName() const override;

  // The hidden dialog shown while the communication ends for exit.
  void SetCommClosing(TCommClosing* dialog);

  void SelectConnection(int connection, bool force, bool restart);
  void SelectOperation(int operation);
  void MAViewSwDlExecute();
  void ViewSettingsExecute();
  void MITotalHexFileClick();
  void MIFileExitClick();
  void MIHelpAboutClick();

  // Before anything that restarts the communication: true when no transfer
  // runs, or when the user agreed to abort it (it is then aborted as the
  // Abort button does); false leaves the transfer running.
  bool TransferMayEnd();
  // Full name of the log file this run writes.
  std::string LogFileName() const { return LogPath; }
  bool LogIsOpen() const { return Log.IsOpen(); }
  // The About box while it is open.
  QDialog* AboutBox() const { return About; }

  TModel& ModelRef() { return *ModelPtr; }
  TController& ControllerRef() { return *Controller; }
  TFrBase* CurrentView() const { return Current.get(); }
  TFrBase* PreviousView() const { return Previous.get(); }
  // Where the views go.
  QWidget* ClientArea() const { return Client; }
  // The settings dialog while it is open.
  TDlgConfig* SettingsDialog() const { return DlgConfig; }

  // Menu items (their names are those the views use).
  QMenu* MIFile = nullptr;
  QAction* MIFileOpen = nullptr;
  QAction* MIFileExit = nullptr;
  QMenu* MIView = nullptr;
  QAction* MIViewSwDl = nullptr;  // runs the action MAViewSwDl
  QAction* MIViewSettings = nullptr;  // runs the action ViewSettings
  QMenu* mITools = nullptr;
  QAction* MITotalHexFile = nullptr;
  QMenu* MIHelp = nullptr;
  QAction* MIHelpAbout = nullptr;

 signals:
  // The window accepted a close: the program ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void FormCreate(TChannelFactory channels);
  void FormDestroy();
  bool FormCloseQuery();
  void CreateMenus();
  void ReadIniKeys();
  void ProbePort();
  // On a system where the user may open no serial device: one box that says
  // what to do, shown on the first start only (INI key "SERIALHINTSHOWN").
  void ShowSerialAccessHintOnce();
  void WriteIniKeys();
  // A view switch: the current view becomes PreviousView (the one before is
  // destroyed; the switch is usually asked for by a handler of the current
  // view, which must outlive it), then the new one is shown and updated.
  void RetireCurrentView();
  void InstallView(std::unique_ptr<TFrBase> view);
  void RequestRestart();
  // SelectConnection once the user agreed: the view for the connection, and
  // for "Serial" after "None" a port probed as at start-up.
  void SwitchConnection(int connection, bool restart);
  // Follows the channel into and out of a transfer: the View menu and the
  // view's controls (tmTransferWatch).
  void WatchTransfer();

  std::string IniPath;
  std::string LogPath;
  bool SerialHintShown = false;
  TLogFile Log;
  std::unique_ptr<TModel> ModelPtr;
  std::unique_ptr<TController> Controller;
  std::unique_ptr<TFrBase> Current;
  std::unique_ptr<TFrBase> Previous;
  QPointer<TCommClosing> CommClosing;
  TDlgConfig* DlgConfig = nullptr;
  QDialog* About = nullptr;
  QTimer* tmTransferWatch = nullptr;
  QWidget* Client = nullptr;
  QVBoxLayout* ClientLayout = nullptr;
};
