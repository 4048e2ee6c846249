#include "core/Hostcall.h"

#include <exception>

THostCall::THostCall(THostLoop& loop) : HostLoop(loop) {}

THostCall::~THostCall() = default;

uint64_t THostCall::Enqueue(std::function<void()> fn) {
  Queue->Calls.push_back(std::move(fn));
  // The loop's call carries nothing but the way back to the queue, and goes
  // quiet once this object is gone.
  HostLoop.Post([weak = std::weak_ptr<TQueue>(Queue)] {
    if (const std::shared_ptr<TQueue> queue = weak.lock()) queue->RunOne();
  });
  return ++Queue->Queued;
}

void THostCall::Post(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(Queue->Lock);
  Enqueue(std::move(fn));
}

void THostCall::RunAndWait(std::function<void()> fn) {
  // An exception of fn is caught on the host thread and raised again here,
  // after the wait: the caller learns of it and never waits for ever.
  std::exception_ptr failure;
  const std::shared_ptr<TQueue> queue = Queue;
  std::unique_lock<std::mutex> lock(queue->Lock);
  const uint64_t ticket = Enqueue([&fn, &failure] {
    try {
      fn();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  queue->Ran.wait(lock, [&] { return queue->Finished >= ticket; });
  lock.unlock();
  if (failure) std::rethrow_exception(failure);
}

void THostCall::TQueue::RunOne() {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> lock(Lock);
    if (Calls.empty()) return;
    fn = std::move(Calls.front());
    Calls.pop_front();
  }
  // Counted as finished also when it throws, so that no later waiter is
  // left behind it.
  struct FinishOnExit {
    TQueue* Queue;
    ~FinishOnExit() {
      std::lock_guard<std::mutex> lock(Queue->Lock);
      ++Queue->Finished;
      Queue->Ran.notify_all();
    }
  } finish{this};
  fn();
}
