// The command line as the library's host, in place of the main window: the
// log file with its banners, errors on stderr, the view calls handed to the
// running subcommand, and an event loop on the main thread that the worker
// thread hands its status to. The model never writes the INI file here.
#pragma once

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "files/Logfile.h"
#include "core/Controller.h"
#include "core/Host.h"
#include "core/Model.h"

class TCliHost : public THost {
 public:
  explicit TCliHost(std::string iniPath);
  ~TCliHost() override;

  void LogWrite(const std::string& text) override { Log.Write(text); }
  void ShowError(const std::string& message) override;
  void ViewStateChanged() override;
  void ViewUpdate() override;
  void CloseMainWindow() override;
  std::string IniFileName() const override { return IniPath; }

  // Opens "LOG.TXT" with its start banner, creates model and controller, and
  // starts the channel of the operation on COM port: connection "Serial",
  // line settings from the INI unless given. False when the port did not
  // open (the error has been shown).
  bool Start(uint8_t operation, int port, std::optional<int> baud, std::optional<char> parity);
  // Runs the event loop until Finish; the exit code given there.
  int Run();
  void Finish(int code);
  bool Finished() const { return Done; }
  // Ends the worker thread (finishing its step), destroys model and
  // controller, writes the stop banner and closes the log.
  void Shutdown();

  // Called once for SIGINT or SIGTERM (blocked for every thread; taken on
  // the main thread) and once when the time-out set by SetTimeout expires.
  std::function<void()> OnStop;
  std::function<void()> OnTimeout;
  // The view calls, and a change of any of the three status texts.
  std::function<void()> OnStateChanged;
  std::function<void()> OnTextChanged;
  // Before an error is shown (a live progress line ends first).
  std::function<void()> OnBeforeMessage;
  // After an error of the worker has been shown: true when the subcommand
  // waits for the port to come back, and the channel is rebuilt as the
  // desktop app rebuilds it; otherwise (unset, or false) the run ends.
  std::function<bool()> OnPortError;
  void SetTimeout(double seconds);
  void CancelTimeout() { Timeout.stop(); }
  // The signal OnStop was called for (SIGINT or SIGTERM), 0 before; and the
  // exit code of a run it stopped (128 + its number, as shells report it).
  int StopSignal() const { return StopSignalNumber; }
  int StopExitCode() const;

  // Calls OnNoAnswer once, seconds from now, when no byte at all has come
  // from the device by then: a switched-off scale is given up early.
  std::function<void()> OnNoAnswer;
  void WatchForAnswer(double seconds);
  // Whether any byte has come from the device since the port was opened.
  bool DeviceAnswered() const;

  TModel& TheModel() { return *ModelPtr; }
  TController& TheController() { return *ControllerPtr; }
  int ErrorsShown() const { return ErrorCount; }

 private:
  static void TextChanged(void* host);
  void TakeSignal();

  std::string IniPath;
  TLogFile Log;
  std::unique_ptr<TModel> ModelPtr;
  std::unique_ptr<TController> ControllerPtr;
  int SubscriptionIds[3] = {};
  QEventLoop Loop;
  QTimer Timeout;
  QTimer AnswerWatch;
  int StopSignalNumber = 0;
  int SignalFd = -1;
  std::unique_ptr<QSocketNotifier> SignalNotifier;
  bool Done = false;
  bool StopTaken = false;
  int ExitCode = 0;
  int ErrorCount = 0;
};

// Blocks SIGINT and SIGTERM in the calling thread and every thread it starts
// afterwards; TCliHost then takes them from a signalfd. Call before any
// thread exists.
void BlockStopSignals();
