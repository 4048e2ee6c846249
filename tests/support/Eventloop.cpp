#include "tests/support/Eventloop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <vector>

TEventLoop& TestHostLoop() {
  static TEventLoop loop;
  return loop;
}

namespace {
std::vector<const std::function<void()>*>& ExtraPumps() {
  static std::vector<const std::function<void()>*> pumps;
  return pumps;
}

void ServeOnce() {
  TestHostLoop().ProcessPending(0);
  // A copy: a pump may end a host, and with it its pump.
  const std::vector<const std::function<void()>*> pumps = ExtraPumps();
  for (const std::function<void()>* serve : pumps)
    if (std::find(ExtraPumps().begin(), ExtraPumps().end(), serve) != ExtraPumps().end()) (*serve)();
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}
}  // namespace

TExtraPump::TExtraPump(std::function<void()> serve) : Serve(std::move(serve)) { ExtraPumps().push_back(&Serve); }

TExtraPump::~TExtraPump() { std::erase(ExtraPumps(), &Serve); }

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
