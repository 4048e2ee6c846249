// The command line as the library's host, in place of the main window: the
// log file with its banners, errors on stderr, the view calls handed to the
// running subcommand, and an event loop on the main thread that the worker
// thread hands its status to. The model never writes the INI file here.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "files/Logfile.h"
#include "core/Controller.h"
#include "core/Eventloop.h"
#include "core/Host.h"
#include "core/Model.h"

// The loop is made before the host that runs on it.
struct TCliLoop {
  TEventLoop Events;
};

class TCliHost : private TCliLoop, public THost {
 public:
  explicit TCliHost(std::string iniPath);
  ~TCliHost() override;

  // Writes to the log; with a log tap set, also hands the text to the main
  // thread (channels log from the worker thread).
  void LogWrite(const std::string& text) override;
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
  // The log file Start opens ("LOG.TXT" unless set), and the one it opens
  // instead when another run holds that one (empty: none).
  void SetLogFiles(std::string file, std::string whenHeld = "");
  // The log file in use once Start has run; empty when none could be opened.
  const std::string& LogFileName() const { return LogInUse; }
  // Runs the event loop until Finish; the exit code given there.
  int Run();
  void Finish(int code);
  bool Finished() const { return Done; }
  // Ends the worker thread (finishing its step), destroys model and
  // controller, writes the stop banner and closes the log.
  void Shutdown();

  // Called once for SIGINT or SIGTERM (see Stopsignals.h; taken on the
  // main thread) and once when the time-out set by SetTimeout expires.
  std::function<void()> OnStop;
  std::function<void()> OnTimeout;
  // The view calls, and a change of any of the three status texts.
  std::function<void()> OnStateChanged;
  std::function<void()> OnTextChanged;
  // Before an error is shown (a live progress line ends first).
  std::function<void()> OnBeforeMessage;
  // Every text the log gets from now on, handed to tap on the main thread
  // (-v, the failure events). Set before Start.
  void SetLogTap(std::function<void(const std::string&)> tap);
  void SetTimeout(double seconds);
  void CancelTimeout() { Timeout.Stop(); }
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
  // The last error shown, empty when none.
  const std::string& LastError() const { return LastErrorText; }

 private:
  static void TextChanged(void* host);
  void TakeSignal();

  std::string IniPath;
  TLogFile Log;
  std::function<void(const std::string&)> OnLogLine;  // main thread only
  std::atomic<bool> LogTapped{false};                   // read by the worker
  std::string LogFile = "LOG.TXT";
  std::string LogFileWhenHeld;
  std::string LogInUse;
  std::unique_ptr<TModel> ModelPtr;
  std::unique_ptr<TController> ControllerPtr;
  int SubscriptionIds[3] = {};
  THostTimer Timeout;
  THostTimer AnswerWatch;
  THostTimer SignalWatch;  // asks for a stop signal every 50 ms
  int StopSignalNumber = 0;
  bool Done = false;
  bool StopTaken = false;
  int ExitCode = 0;
  int ErrorCount = 0;
  std::string LastErrorText;
};
