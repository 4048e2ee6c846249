// The time the channels wait by: now, and sleeping for a while. The system
// clock is the default; tests put a clock in that only moves when asked, so
// that pauses and time-outs of a run take no real time.
#pragma once

#include <chrono>

class TClock {
 public:
  using Time = std::chrono::steady_clock::time_point;
  using Duration = std::chrono::steady_clock::duration;

  virtual ~TClock() = default;
  virtual Time Now() = 0;
  virtual void Sleep(Duration duration) = 0;
  // Sleeps until time; at once when it has passed.
  void SleepUntil(Time time);
};

// The steady system clock, shared by every port that was given no other.
TClock& SystemClock();
