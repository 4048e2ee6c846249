#include "comm/Clock.h"

#include <thread>

namespace {

class TSystemClock : public TClock {
 public:
  Time Now() override { return std::chrono::steady_clock::now(); }
  void Sleep(Duration duration) override {
    if (duration > Duration::zero()) std::this_thread::sleep_for(duration);
  }
};

}  // namespace

void TClock::SleepUntil(Time time) {
  const Time now = Now();
  if (time > now) Sleep(time - now);
}

TClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}
