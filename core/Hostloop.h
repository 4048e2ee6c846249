// The host thread's event loop, as the core needs it: calls posted from any
// thread, one-shot timers, and serving what is pending while the host thread
// waits for the worker. The desktop app implements it on Qt's event loop, the
// command line and the tests with TEventLoop (standard library only).
#pragma once

#include <cstdint>
#include <functional>

class THostLoop {
 public:
  virtual ~THostLoop() = default;

  // Runs fn later on the host thread, in the order posted; from any thread.
  virtual void Post(std::function<void()> fn) = 0;
  // Runs fn once on the host thread after about milliseconds, unless the
  // timer is cancelled first. Host thread only; ids are never 0.
  virtual uint64_t StartTimer(int milliseconds, std::function<void()> fn) = 0;
  // Cancels a timer that has not fired; an id that has fired or is unknown
  // is ignored. Host thread only.
  virtual void CancelTimer(uint64_t id) = 0;
  // Serves posted calls and due timers, waiting at most milliseconds for
  // the first one; never user input. Host thread only.
  virtual void ProcessPending(int milliseconds) = 0;
  // Whether the calling thread is the host thread.
  virtual bool IsHostThread() const = 0;
};
