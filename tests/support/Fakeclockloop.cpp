#include "tests/support/Fakeclockloop.h"

#include <algorithm>
#include <chrono>
#include <memory>

TFakeClockLoop::TFakeClockLoop(TFakeClock& clock) : Clock(clock), Loop(&clock) {}

TFakeClockLoop::~TFakeClockLoop() {
  for (const auto& [id, alarm] : Alarms) Clock.RemoveAlarm(alarm);
}

uint64_t TFakeClockLoop::StartTimer(int milliseconds, std::function<void()> fn) {
  auto self = std::make_shared<uint64_t>(0);  // the timer's own id, for its expiry
  const uint64_t id = Loop.StartTimer(milliseconds, [this, self, fn = std::move(fn)] {
    // The alarm holds the clock at the deadline until the expiry has been
    // handled: a reply timer's expiry waits for the step in progress, and a
    // worker that polled on meanwhile must not move the clock past the
    // deadline (to an answer that arrives later) before the request has been
    // sent again.
    fn();
    Forget(*self);
  });
  *self = id;
  // Read after the loop took its deadline: should the worker move the clock
  // in between, the alarm lies at or after the deadline, never before it
  // (an alarm before it would stop the clock short of the expiry).
  const auto due = Clock.Now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  Alarms[id] = Clock.AddAlarm(due);
  return id;
}

void TFakeClockLoop::CancelTimer(uint64_t id) {
  Loop.CancelTimer(id);
  Forget(id);
}

void TFakeClockLoop::Forget(uint64_t id) {
  const auto found = Alarms.find(id);
  if (found == Alarms.end()) return;
  Clock.RemoveAlarm(found->second);
  Alarms.erase(found);
}

bool TFakeClockLoop::AdvanceToNextTimer() {
  const std::optional<TClock::Time> next = Clock.NextAlarm();
  if (!next) return false;
  Clock.AdvanceTo(*next);
  return true;
}
