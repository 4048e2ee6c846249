#include "core/Hostcall.h"

#include <QCoreApplication>
#include <QEvent>
#include <exception>

uint64_t THostCall::Enqueue(std::function<void()> fn) {
  Queue.push_back(std::move(fn));
  // The event carries nothing; the call waits in the queue.
  QCoreApplication::postEvent(this, new QEvent(QEvent::User));
  return ++Queued;
}

void THostCall::Post(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(Lock);
  Enqueue(std::move(fn));
}

void THostCall::RunAndWait(std::function<void()> fn) {
  // An exception of fn is caught on the host thread and raised again here,
  // after the wait: the caller learns of it and never waits for ever.
  std::exception_ptr failure;
  std::unique_lock<std::mutex> lock(Lock);
  const uint64_t ticket = Enqueue([&fn, &failure] {
    try {
      fn();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  Ran.wait(lock, [&] { return Finished >= ticket; });
  lock.unlock();
  if (failure) std::rethrow_exception(failure);
}

void THostCall::customEvent(QEvent*) {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> lock(Lock);
    if (Queue.empty()) return;
    fn = std::move(Queue.front());
    Queue.pop_front();
  }
  // Counted as finished also when it throws, so that no later waiter is
  // left behind it.
  struct FinishOnExit {
    THostCall* Call;
    ~FinishOnExit() {
      std::lock_guard<std::mutex> lock(Call->Lock);
      ++Call->Finished;
      Call->Ran.notify_all();
    }
  } finish{this};
  fn();
}
