#include "core/Host.h"

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
  if (Model) Model->Restart(Config);
  RestartPending = false;
  CommEnded = false;
  ViewUpdate();
}
