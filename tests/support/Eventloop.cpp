#include "tests/support/Eventloop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

TEventLoop& TestHostLoop() {
  static TEventLoop loop;
  return loop;
}

namespace {
void ServeOnce() {
  TestHostLoop().ProcessPending(0);
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}
}  // namespace

bool RunUntil(const std::function<bool()>& pred, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!pred()) {
    if (clock.elapsed() > timeoutMs) return pred();
    ServeOnce();
    QThread::usleep(200);
  }
  return true;
}

void RunFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    ServeOnce();
    QThread::usleep(200);
  }
}
