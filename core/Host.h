// What the core asks of "the main window". The desktop app's main window and
// the command-line front end each implement it; tests implement it too.
//
// The host owns the configuration record and the three communication flags,
// and finishes every stop of the worker thread: the thread's end routine
// either closes the host (when closing was requested) or starts the 100 ms
// one-shot TimerCommClose, whose expiry has the model rebuild channel and
// thread. That sequence is the same for every host, so it lives here.
#pragma once

#include <atomic>
#include <string>

#include "comm/Commconfig.h"
#include "core/Hostcall.h"
#include "core/Hostloop.h"
#include "core/Hosttimer.h"

class TModel;

class THost {
 public:
  // loop is the host thread's event loop; it outlives the host.
  explicit THost(THostLoop& loop);
  virtual ~THost();
  THost(const THost&) = delete;
  THost& operator=(const THost&) = delete;

  // Appends exactly the text to the log file (no line end, no time stamp).
  // Called from the worker thread inside channel steps as well.
  virtual void LogWrite(const std::string& text) = 0;
  // The application's standard error display; host thread.
  virtual void ShowError(const std::string& message) = 0;
  // The current view's StateChanged and Update; host thread.
  virtual void ViewStateChanged() = 0;
  virtual void ViewUpdate() = 0;
  // Closes the main window (the host's end); host thread.
  virtual void CloseMainWindow() = 0;
  // Full name of the INI file the model reads and writes.
  virtual std::string IniFileName() const = 0;

  // The end routine of the worker thread, run on the host thread.
  void CommEndRoutine();
  // TimerCommClose's handler: rebuild channel and thread for Config.
  void TimerCommCloseTimer();

  // The worker thread's hand-overs run through it.
  THostCall* Context() { return &HostContext; }
  THostLoop& Loop() const { return HostLoop; }

  CmConfig Config;
  TModel* Model = nullptr;  // set by the host once it created the model

  std::atomic<bool> CommEnded{false};
  std::atomic<bool> CloseRequested{false};
  std::atomic<bool> RestartPending{false};

  THostTimer TimerCommClose;  // 100 ms, one-shot, disabled at start

 private:
  THostLoop& HostLoop;
  THostCall HostContext;
};
