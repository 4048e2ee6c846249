// The worker thread: steps one channel until told to stop, handing the
// channel's status to the host thread after every step.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "comm/Commconfig.h"

class CmBase;
class THost;

// Set by start-up once every window exists; the thread makes no step before.
extern std::atomic<bool> ApplicationStarted;

class TCommThread {
 public:
  // Calls the channel's Open on the calling (host) thread; an error there is
  // shown by the host and dropped, and the thread runs all the same.
  TCommThread(CmConfig* config, CmBase* channel, THost& host);
  ~TCommThread();
  TCommThread(const TCommThread&) = delete;
  TCommThread& operator=(const TCommThread&) = delete;

  // The terminated flag: the loop ends after the step and hand-over in progress.
  void Terminate() { Terminated = true; }
  bool IsTerminated() const { return Terminated; }
  uint64_t Passes() const { return PassCount; }
  // Whether the thread body has finished, and waiting for it. These go
  // through a standard mutex the body releases last, so that everything the
  // thread did is ordered before what the waiter does next.
  bool HasEnded();
  void WaitEnded();

 private:
  void Run();

  // Runs fn on the host thread and waits until it has run.
  template <typename Fn>
  void OnHostThread(Fn fn);

  CmConfig* Config;
  CmBase* Channel;
  THost& Host;
  std::atomic<bool> Terminated{false};
  std::atomic<uint64_t> PassCount{0};
  std::mutex EndLock;
  std::condition_variable EndSignal;
  bool Ended = false;
  std::thread Worker;  // last: started once everything above exists
};
