#include "tests/support/Eventloop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

bool RunUntil(const std::function<bool()>& pred, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!pred()) {
    if (clock.elapsed() > timeoutMs) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::usleep(200);
  }
  return true;
}

void RunFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::usleep(200);
  }
}
