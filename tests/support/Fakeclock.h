// A clock that moves only when asked: a sleep moves it on at once, and so
// does a scripted port's read that waits for bytes or times out. Pauses and
// time-outs of a whole run then take no real time, in the same order.
#pragma once

#include <mutex>

#include "comm/Clock.h"

class TFakeClock : public TClock {
 public:
  Time Now() override;
  void Sleep(Duration duration) override;
  // Moves the clock on to time; never back.
  void AdvanceTo(Time time);
  // How far the clock has moved since it was made.
  Duration Elapsed() const;

 private:
  static constexpr Time Start = Time{} + std::chrono::hours(1);
  mutable std::mutex Lock;
  Time Current = Start;
};
