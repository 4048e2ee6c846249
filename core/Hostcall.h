// Calls from the worker thread into the host thread. The calls wait in a
// queue of this object's own, under a standard mutex, and the host loop is
// asked to serve one per call. Taking the standard mutex on both sides makes
// the order between the two threads explicit (and visible to the thread
// sanitizer). A call still queued when this object goes is dropped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "core/Hostloop.h"

class THostCall {
 public:
  explicit THostCall(THostLoop& loop);
  ~THostCall();
  THostCall(const THostCall&) = delete;
  THostCall& operator=(const THostCall&) = delete;

  // Runs fn later on the host thread; returns at once. From any thread.
  void Post(std::function<void()> fn);
  // Runs fn on the host thread and waits until it has run. Never from the
  // host thread itself.
  void RunAndWait(std::function<void()> fn);
  THostLoop& Loop() const { return HostLoop; }

 private:
  struct TQueue {
    std::mutex Lock;
    std::condition_variable Ran;
    std::deque<std::function<void()>> Calls;
    uint64_t Queued = 0;    // calls ever queued
    uint64_t Finished = 0;  // calls that have run
    void RunOne();
  };
  // Queues fn under the queue's lock; its ticket.
  uint64_t Enqueue(std::function<void()> fn);

  THostLoop& HostLoop;
  std::shared_ptr<TQueue> Queue = std::make_shared<TQueue>();
};
