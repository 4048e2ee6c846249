#include "core/Replytimer.h"

#include <QThread>

TReplyTimer::TReplyTimer(std::function<void(uint64_t)> onExpiry) : OnExpiry(std::move(onExpiry)) {
  Timer.setSingleShot(true);
  QObject::connect(&Timer, &QTimer::timeout, &Context, [this] {
    const uint64_t fired = ArmedGeneration;
    if (fired != CurrentGeneration) return;  // disarmed or re-armed meanwhile
    Armed = false;
    OnExpiry(fired);
  });
}

TReplyTimer::~TReplyTimer() = default;

void TReplyTimer::Post(std::function<void()> fn) {
  if (QThread::currentThread() == Context.thread())
    fn();
  else
    Context.Post(std::move(fn));
}

void TReplyTimer::Start(int milliseconds) {
  const uint64_t generation = ++CurrentGeneration;
  Armed = true;
  Post([this, generation, milliseconds] {
    if (generation != CurrentGeneration) return;  // superseded before it arrived
    ArmedGeneration = generation;
    Timer.start(milliseconds);
  });
}

void TReplyTimer::Stop() {
  ++CurrentGeneration;
  Armed = false;
  Post([this] { Timer.stop(); });
}
