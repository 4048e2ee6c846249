// The host loop of a test host on a fake clock: TEventLoop's posted calls and
// timers, each timer's deadline also an alarm of the clock. A worker polling
// a quiet scripted port moves the clock on to the earliest alarm, so a reply
// timer expires when the fake time has reached its deadline and never
// before, and an answer that arrives earlier is taken first.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "core/Eventloop.h"
#include "core/Hostloop.h"
#include "tests/support/Fakeclock.h"

class TFakeClockLoop : public THostLoop {
 public:
  explicit TFakeClockLoop(TFakeClock& clock);
  ~TFakeClockLoop() override;
  TFakeClockLoop(const TFakeClockLoop&) = delete;
  TFakeClockLoop& operator=(const TFakeClockLoop&) = delete;

  void Post(std::function<void()> fn) override { Loop.Post(std::move(fn)); }
  uint64_t StartTimer(int milliseconds, std::function<void()> fn) override;
  void CancelTimer(uint64_t id) override;
  void ProcessPending(int milliseconds) override { Loop.ProcessPending(milliseconds); }
  bool IsHostThread() const override { return Loop.IsHostThread(); }

  // Moves the clock on to the earliest timer's deadline; false when no timer
  // runs. For the time no worker polls (its thread has ended and the restart
  // timer runs). Host thread.
  bool AdvanceToNextTimer();

 private:
  void Forget(uint64_t id);  // the timer fired or was cancelled

  TFakeClock& Clock;
  TEventLoop Loop;
  std::map<uint64_t, uint64_t> Alarms;  // the loop's timer id -> the clock's alarm id; host thread
};
