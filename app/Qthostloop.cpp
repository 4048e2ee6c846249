#include "app/Qthostloop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

TQtHostLoop::~TQtHostLoop() = default;

void TQtHostLoop::Post(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(Lock);
    Posted.push_back(std::move(fn));
  }
  QCoreApplication::postEvent(this, new QEvent(QEvent::User));
}

void TQtHostLoop::customEvent(QEvent*) {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> lock(Lock);
    if (Posted.empty()) return;
    fn = std::move(Posted.front());
    Posted.pop_front();
  }
  fn();
}

uint64_t TQtHostLoop::StartTimer(int milliseconds, std::function<void()> fn) {
  const uint64_t id = ++LastTimerId;
  auto timer = std::make_unique<QTimer>();
  timer->setSingleShot(true);
  QObject::connect(timer.get(), &QTimer::timeout, this, [this, id, fn = std::move(fn)] {
    // Taken out of the map before the call: the call may start timers, and
    // the QTimer is deleted once its signal has returned.
    const auto found = Timers.find(id);
    if (found == Timers.end()) return;
    QTimer* fired = found->second.release();
    Timers.erase(found);
    fired->deleteLater();
    fn();
  });
  timer->start(milliseconds);
  Timers.emplace(id, std::move(timer));
  return id;
}

void TQtHostLoop::CancelTimer(uint64_t id) {
  const auto found = Timers.find(id);
  if (found == Timers.end()) return;
  found->second->stop();
  Timers.erase(found);
}

void TQtHostLoop::ProcessPending(int milliseconds) {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, milliseconds);
}

bool TQtHostLoop::IsHostThread() const { return QThread::currentThread() == thread(); }

TQtHostLoop& AppHostLoop() {
  // Kept for the life of the process: the main window, its channels and
  // their timers may still use it while static objects go.
  static TQtHostLoop* loop = new TQtHostLoop;
  return *loop;
}
