// Calls from the worker thread into the host thread. A QObject living on the
// host thread keeps a queue of calls under a standard mutex and posts itself
// an event per call; the host thread runs the calls when it handles the
// events. Taking the standard mutex on both sides makes the order between
// the two threads explicit (and visible to the thread sanitizer, which cannot
// see Qt's own futex-based locks).
#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

class THostCall : public QObject {
 public:
  THostCall() = default;
  // Runs fn later on the host thread; returns at once. From any thread.
  void Post(std::function<void()> fn);
  // Runs fn on the host thread and waits until it has run. Never from the
  // host thread itself.
  void RunAndWait(std::function<void()> fn);

 protected:
  void customEvent(QEvent* event) override;

 private:
  uint64_t Enqueue(std::function<void()> fn);

  std::mutex Lock;
  std::condition_variable Ran;
  std::deque<std::function<void()>> Queue;
  uint64_t Queued = 0;    // calls ever queued
  uint64_t Finished = 0;  // calls that have run
};
