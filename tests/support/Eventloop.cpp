#include "tests/support/Eventloop.h"

#include <chrono>
#include <thread>

// The widget tests' main window runs on Qt's loop, which is served as well
// where Qt is linked; the Windows build of the tests has no Qt.
#ifdef QT_CORE_LIB
#include <QCoreApplication>
#endif
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

using Clock = std::chrono::steady_clock;

void ServeOnce() {
  TestHostLoop().ProcessPending(0);
  // A copy: a pump may end a host, and with it its pump.
  const std::vector<const std::function<void()>*> pumps = ExtraPumps();
  for (const std::function<void()>* serve : pumps)
    if (std::find(ExtraPumps().begin(), ExtraPumps().end(), serve) != ExtraPumps().end()) (*serve)();
#ifdef QT_CORE_LIB
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
#endif
  std::this_thread::sleep_for(std::chrono::microseconds(200));
}

}  // namespace

TExtraPump::TExtraPump(std::function<void()> serve) : Serve(std::move(serve)) { ExtraPumps().push_back(&Serve); }

TExtraPump::~TExtraPump() { std::erase(ExtraPumps(), &Serve); }

bool RunUntil(const std::function<bool()>& pred, int timeoutMs) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (Clock::now() > end) return pred();
    ServeOnce();
  }
  return true;
}

void RunFor(int ms) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) ServeOnce();
}
