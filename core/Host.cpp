#include "core/Host.h"

#include <exception>
#include <string>

#include "core/Model.h"

THost::THost(THostLoop& loop)
    : TimerCommClose(loop, 100, [this] { TimerCommCloseTimer(); }), HostLoop(loop), HostContext(loop) {}

THost::~THost() = default;

void THost::CommEndRoutine() {
  if (CloseRequested)
    CloseMainWindow();
  else
    TimerCommClose.Start();
}

void THost::TimerCommCloseTimer() {
  TimerCommClose.Stop();
  try {
    if (Model) Model->Restart(Config);
  } catch (const std::exception& e) {
    // No thread runs now. The restart is over all the same, so that the
    // window can still close; the error is shown and kept in the log.
    RestartPending = false;
    LogWrite(std::string(e.what()) + "\r\n");
    ShowError(e.what());
    return;
  }
  RestartPending = false;
  CommEnded = false;
  ViewUpdate();
}
