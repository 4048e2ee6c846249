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

uint64_t TFakeClock::AddAlarm(Time at) {
  std::lock_guard<std::mutex> lock(Lock);
  Alarms.emplace(++LastAlarmId, at);
  return LastAlarmId;
}

void TFakeClock::RemoveAlarm(uint64_t id) {
  std::lock_guard<std::mutex> lock(Lock);
  Alarms.erase(id);
}

std::optional<TClock::Time> TFakeClock::NextAlarm() const {
  std::lock_guard<std::mutex> lock(Lock);
  std::optional<Time> next;
  for (const auto& [id, at] : Alarms)
    if (!next || at < *next) next = at;
  return next;
}
