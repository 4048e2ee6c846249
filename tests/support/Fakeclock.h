// A clock that moves only when asked: a sleep moves it on at once, and so
// does a scripted port's read that waits for bytes or times out. Pauses and
// time-outs of a whole run then take no real time, in the same order.
//
// Alarms are the times something on another thread waits for (the timers of
// a host loop on this clock, Fakeclockloop.h). A scripted port's worker that
// keeps polling a quiet line while an alarm is set moves the clock on to the
// next byte or the earliest alarm, whichever comes first, as real time would
// pass while it polls and nothing happens (Scriptedport.h).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

#include "comm/Clock.h"

class TFakeClock : public TClock {
 public:
  Time Now() override;
  void Sleep(Duration duration) override;
  // Moves the clock on to time; never back.
  void AdvanceTo(Time time);
  // How far the clock has moved since it was made.
  Duration Elapsed() const;

  // Any thread. AddAlarm's ids are never 0; removing an unknown id does nothing.
  uint64_t AddAlarm(Time at);
  void RemoveAlarm(uint64_t id);
  std::optional<Time> NextAlarm() const;

 private:
  static constexpr Time Start = Time{} + std::chrono::hours(1);
  mutable std::mutex Lock;
  Time Current = Start;
  std::map<uint64_t, Time> Alarms;
  uint64_t LastAlarmId = 0;
};
