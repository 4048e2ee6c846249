// The channels' one-shot reply timer. It fires on the host thread; the worker
// thread arms and disarms it from inside its steps. Every arm and disarm
// starts a new generation, so an expiry that was already on its way when the
// worker disarmed or re-armed the timer is recognised as stale and dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "core/Hostcall.h"
#include "core/Hosttimer.h"

class TReplyTimer {
 public:
  // onExpiry runs on the host thread with the generation that expired.
  TReplyTimer(THostLoop& loop, std::function<void(uint64_t)> onExpiry);
  ~TReplyTimer();

  void Start(int milliseconds);  // any thread
  void Stop();                   // any thread
  uint64_t Generation() const { return CurrentGeneration; }
  bool IsActive() const { return Armed; }

 private:
  void Post(std::function<void()> fn);

  THostCall Context;
  THostTimer Timer;
  std::function<void(uint64_t)> OnExpiry;
  std::atomic<uint64_t> CurrentGeneration{0};
  uint64_t ArmedGeneration = 0;  // host thread only
  std::atomic<bool> Armed{false};
};
