// A one-shot timer on the host loop, owned by one object: started again it
// restarts, destroyed it is cancelled. Host thread only.
#pragma once

#include <cstdint>
#include <functional>

#include "core/Hostloop.h"

class THostTimer {
 public:
  THostTimer(THostLoop& loop, int intervalMs, std::function<void()> onExpiry);
  ~THostTimer();
  THostTimer(const THostTimer&) = delete;
  THostTimer& operator=(const THostTimer&) = delete;

  void Start() { Start(IntervalMs); }
  void Start(int milliseconds);
  void Stop();
  bool IsActive() const { return Id != 0; }

 private:
  THostLoop& Loop;
  int IntervalMs;
  std::function<void()> OnExpiry;
  uint64_t Id = 0;
};
