#include "core/Replytimer.h"

TReplyTimer::TReplyTimer(THostLoop& loop, std::function<void(uint64_t)> onExpiry)
    : Context(loop),
      Timer(loop, 0,
            [this] {
              const uint64_t fired = ArmedGeneration;
              if (fired != CurrentGeneration) return;  // disarmed or re-armed meanwhile
              Armed = false;
              OnExpiry(fired);
            }),
      OnExpiry(std::move(onExpiry)) {}

TReplyTimer::~TReplyTimer() = default;

void TReplyTimer::Post(std::function<void()> fn) {
  if (Context.Loop().IsHostThread())
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
    Timer.Start(milliseconds);
  });
}

void TReplyTimer::Stop() {
  ++CurrentGeneration;
  Armed = false;
  Post([this] { Timer.Stop(); });
}
