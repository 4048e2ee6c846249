#include "core/Host.h"

#include <exception>
#include <string>

#include "core/Model.h"

THost::THost() {
  TimerCommClose.setInterval(100);
  TimerCommClose.setSingleShot(true);
  QObject::connect(&TimerCommClose, &QTimer::timeout, &HostContext,
                   [this] { TimerCommCloseTimer(); });
}

THost::~THost() = default;

void THost::CommEndRoutine() {
  if (CloseRequested)
    CloseMainWindow();
  else
    TimerCommClose.start();
}

void THost::TimerCommCloseTimer() {
  TimerCommClose.stop();
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
