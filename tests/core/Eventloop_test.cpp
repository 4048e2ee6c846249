// The command line's and the tests' host loop: posted calls in order from
// any thread, timers by deadline on the loop's clock, cancelling, and Quit.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "core/Eventloop.h"
#include "core/Hostcall.h"
#include "core/Hosttimer.h"
#include "tests/support/Fakeclock.h"

namespace {

using namespace std::chrono_literals;

TEST(EventLoop, TimersFireInDeadlineOrderOnTheLoopsClockAndACancelledOneNever) {
  TFakeClock clock;
  TEventLoop loop(&clock);
  std::string fired;
  loop.StartTimer(30, [&] { fired += "c"; });
  const uint64_t cancelled = loop.StartTimer(10, [&] { fired += "x"; });
  loop.StartTimer(20, [&] { fired += "b"; });
  loop.StartTimer(20, [&] { fired += "B"; });  // same deadline: in the order started
  loop.StartTimer(5, [&] { fired += "a"; });
  loop.CancelTimer(cancelled);
  loop.CancelTimer(cancelled);  // twice, or after firing: ignored

  loop.ProcessPending(0);
  EXPECT_EQ(fired, "") << "no real time counts, only the loop's clock";
  clock.AdvanceTo(clock.Now() + 20ms);
  loop.ProcessPending(0);
  EXPECT_EQ(fired, "abB");
  clock.AdvanceTo(clock.Now() + 10ms);
  loop.ProcessPending(0);
  EXPECT_EQ(fired, "abBc");
}

TEST(EventLoop, AHostTimerRestartedOrDestroyedBeforeItsTimeNeverFiresTheOldDeadline) {
  TFakeClock clock;
  TEventLoop loop(&clock);
  int fired = 0;
  {
    THostTimer timer(loop, 100, [&] { ++fired; });
    timer.Start();
    clock.AdvanceTo(clock.Now() + 60ms);
    timer.Start();  // restarts: due 100 ms from now, not 40
    clock.AdvanceTo(clock.Now() + 60ms);
    loop.ProcessPending(0);
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(timer.IsActive());
    clock.AdvanceTo(clock.Now() + 40ms);
    loop.ProcessPending(0);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer.IsActive());
    timer.Start();
  }
  clock.AdvanceTo(clock.Now() + 200ms);
  loop.ProcessPending(0);
  EXPECT_EQ(fired, 1) << "a destroyed timer is cancelled";
}

TEST(EventLoop, CallsPostedFromAnotherThreadRunOnTheLoopInOrderAndRunAndWaitReturnsTheirFailure) {
  TEventLoop loop;
  std::string ran;
  THostCall call(loop);
  bool failed = false;
  std::thread worker([&] {
    call.Post([&] { ran += "1"; });
    call.RunAndWait([&] { ran += "2"; });
    try {
      call.RunAndWait([] { throw std::runtime_error("no display"); });
    } catch (const std::runtime_error&) {
      failed = true;
    }
    loop.Quit();
  });
  loop.Run();
  worker.join();
  EXPECT_EQ(ran, "12");
  EXPECT_TRUE(failed) << "the host thread's exception reaches the waiting worker";
}

TEST(EventLoop, ACallStillQueuedWhenItsHostCallGoesIsDropped) {
  TEventLoop loop;
  int ran = 0;
  {
    THostCall call(loop);
    call.Post([&] { ++ran; });
  }
  loop.ProcessPending(0);
  EXPECT_EQ(ran, 0);
}

}  // namespace
