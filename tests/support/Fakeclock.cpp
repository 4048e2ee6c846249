#include "tests/support/Fakeclock.h"

TClock::Time TFakeClock::Now() {
  std::lock_guard<std::mutex> lock(Lock);
  return Current;
}

void TFakeClock::Sleep(Duration duration) {
  std::lock_guard<std::mutex> lock(Lock);
  if (duration > Duration::zero()) Current += duration;
}

void TFakeClock::AdvanceTo(Time time) {
  std::lock_guard<std::mutex> lock(Lock);
  if (time > Current) Current = time;
}

TClock::Duration TFakeClock::Elapsed() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Current - Start;
}
