#include "core/Hostcall.h"

#include <QCoreApplication>
#include <QEvent>

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
  std::unique_lock<std::mutex> lock(Lock);
  const uint64_t ticket = Enqueue(std::move(fn));
  Ran.wait(lock, [&] { return Finished >= ticket; });
}

void THostCall::customEvent(QEvent*) {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> lock(Lock);
    if (Queue.empty()) return;
    fn = std::move(Queue.front());
    Queue.pop_front();
  }
  fn();
  std::lock_guard<std::mutex> lock(Lock);
  ++Finished;
  Ran.notify_all();
}
