// The host loop on the standard library alone: a queue of posted calls and
// timers by deadline, served by the thread that made the loop. The command
// line runs on it; tests run on it with a fake clock, so that a reply timer
// expires when the clock says so and not after real time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "comm/Clock.h"
#include "core/Hostloop.h"

class TEventLoop : public THostLoop {
 public:
  // Timer deadlines are kept on clock (the system clock when none is given).
  explicit TEventLoop(TClock* clock = nullptr);

  void Post(std::function<void()> fn) override;
  uint64_t StartTimer(int milliseconds, std::function<void()> fn) override;
  void CancelTimer(uint64_t id) override;
  void ProcessPending(int milliseconds) override;
  bool IsHostThread() const override { return std::this_thread::get_id() == HostThread; }

  // Serves calls and timers until Quit; at once when Quit came first. A
  // later Run waits for a new Quit.
  void Run();
  // Ends Run once the call in progress has returned; from any thread.
  void Quit();

 private:
  // Runs the calls posted so far and the timers due now; whether any ran.
  bool ServeOnce();

  TClock& Clock;
  std::thread::id HostThread;
  std::mutex Lock;
  std::condition_variable Arrived;
  std::deque<std::function<void()>> Posted;
  bool QuitAsked = false;
  // Host thread only: timers by deadline; the id orders timers with the
  // same deadline by when they were started.
  std::map<std::pair<TClock::Time, uint64_t>, std::function<void()>> Timers;
  std::map<uint64_t, TClock::Time> Deadlines;
  uint64_t LastTimerId = 0;
};
