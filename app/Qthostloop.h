// The host loop of the desktop app: Qt's event loop on the GUI thread.
// Posted calls travel as events to an object living there; timers are
// single-shot QTimers kept by id.
#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "core/Hostloop.h"

class TQtHostLoop : public QObject, public THostLoop {
 public:
  TQtHostLoop() = default;
  ~TQtHostLoop() override;

  void Post(std::function<void()> fn) override;
  uint64_t StartTimer(int milliseconds, std::function<void()> fn) override;
  void CancelTimer(uint64_t id) override;
  void ProcessPending(int milliseconds) override;
  bool IsHostThread() const override;

 protected:
  void customEvent(QEvent* event) override;

 private:
  // The calls wait here under a standard mutex (which the thread sanitizer
  // sees); each event runs the oldest.
  std::mutex Lock;
  std::deque<std::function<void()>> Posted;
  std::map<uint64_t, std::unique_ptr<QTimer>> Timers;
  uint64_t LastTimerId = 0;
};

// The app's one loop, made on the GUI thread by the first call.
TQtHostLoop& AppHostLoop();
