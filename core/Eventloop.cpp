#include "core/Eventloop.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {
// A wait for the next deadline is cut into slices: a fake clock moves while
// the loop waits, and a real one may be adjusted.
constexpr auto MaxWaitSlice = std::chrono::milliseconds(5);
}  // namespace

TEventLoop::TEventLoop(TClock* clock)
    : Clock(clock ? *clock : SystemClock()), HostThread(std::this_thread::get_id()) {}

void TEventLoop::Post(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(Lock);
    Posted.push_back(std::move(fn));
  }
  Arrived.notify_all();
}

uint64_t TEventLoop::StartTimer(int milliseconds, std::function<void()> fn) {
  const uint64_t id = ++LastTimerId;
  const TClock::Time deadline = Clock.Now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  Timers.emplace(std::make_pair(deadline, id), std::move(fn));
  Deadlines.emplace(id, deadline);
  return id;
}

void TEventLoop::CancelTimer(uint64_t id) {
  const auto found = Deadlines.find(id);
  if (found == Deadlines.end()) return;
  Timers.erase(std::make_pair(found->second, id));
  Deadlines.erase(found);
}

bool TEventLoop::ServeOnce() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> lock(Lock);
    calls.swap(Posted);
  }
  bool ran = !calls.empty();
  for (auto& call : calls) call();

  // Only the timers due now: one that a timer starts again with no delay
  // waits for the next pass, so that posted calls are never starved.
  const TClock::Time now = Clock.Now();
  std::vector<uint64_t> due;
  for (const auto& [key, fn] : Timers) {
    if (key.first > now) break;
    due.push_back(key.second);
  }
  for (uint64_t id : due) {
    const auto found = Deadlines.find(id);
    if (found == Deadlines.end()) continue;  // cancelled by an earlier one
    const auto timer = Timers.find(std::make_pair(found->second, id));
    std::function<void()> fn = std::move(timer->second);
    Timers.erase(timer);
    Deadlines.erase(found);
    fn();
    ran = true;
  }
  return ran;
}

void TEventLoop::ProcessPending(int milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  while (!ServeOnce()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return;
    auto wait = std::min<std::chrono::steady_clock::duration>(until - now, MaxWaitSlice);
    std::unique_lock<std::mutex> lock(Lock);
    Arrived.wait_for(lock, wait, [this] { return !Posted.empty(); });
  }
}

void TEventLoop::Run() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(Lock);
      if (QuitAsked) {
        QuitAsked = false;
        return;
      }
    }
    ProcessPending(static_cast<int>(MaxWaitSlice.count()));
  }
}

void TEventLoop::Quit() {
  {
    std::lock_guard<std::mutex> lock(Lock);
    QuitAsked = true;
  }
  Arrived.notify_all();
}
