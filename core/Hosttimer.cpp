#include "core/Hosttimer.h"

THostTimer::THostTimer(THostLoop& loop, int intervalMs, std::function<void()> onExpiry)
    : Loop(loop), IntervalMs(intervalMs), OnExpiry(std::move(onExpiry)) {}

THostTimer::~THostTimer() { Stop(); }

void THostTimer::Start(int milliseconds) {
  Stop();
  Id = Loop.StartTimer(milliseconds, [this] {
    Id = 0;
    OnExpiry();
  });
}

void THostTimer::Stop() {
  if (Id == 0) return;
  Loop.CancelTimer(Id);
  Id = 0;
}
