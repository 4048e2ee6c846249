// The worker thread and its hand-shakes with the host: status after every
// step, the stop / end routine / 100 ms / rebuild cycle, errors in Open and
// in a step.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "comm/Commnone.h"
#include "comm/Commthrd.h"
#include "tests/core/Probechannel.h"
#include "tests/support/Eventloop.h"
#include "tests/support/Testhost.h"

namespace {

// A host whose channels are recording channels; each factory call makes one.
struct RecordingHost : TTestHost {
  void Install(std::function<void(TProbeChannel&)> tune = {}) {
    Tune = std::move(tune);
    Config.Connection = 1;
    ModelPtr = std::make_unique<TModel>(*this);
    Model = ModelPtr.get();
    ModelPtr->SetChannelFactory([this](TModel& m, const CmConfig&, PortSettings* s) {
      auto channel = std::make_unique<TProbeChannel>(m, s);
      if (Tune) Tune(*channel);
      Built.push_back(channel.get());
      return channel;
    });
    Controller = std::make_unique<TController>(*ModelPtr);
    ApplicationStarted = true;
    ModelPtr->Restart(Config);
  }
  TProbeChannel* Current() { return static_cast<TProbeChannel*>(ModelPtr->CurrentChannel()); }

  std::function<void(TProbeChannel&)> Tune;
  std::vector<TProbeChannel*> Built;  // only the last one is alive
};

TEST(CommThread, HandsStatusToTheHostAfterEveryStep) {
  RecordingHost host;
  host.Install();
  ASSERT_TRUE(RunUntil([&] { return host.Current()->Updates > 20; }));
  // The hand-over is blocking, so updates never run ahead of steps.
  EXPECT_LE(host.Current()->Updates.load(), host.Current()->Steps.load());
}

TEST(CommThread, MakesNoStepBeforeTheApplicationHasStarted) {
  TTestHost host;
  host.Start();  // idle channel; sets ApplicationStarted
  host.Shutdown();

  ApplicationStarted = false;
  TTestHost host2;
  host2.ModelPtr = std::make_unique<TModel>(host2);
  TProbeChannel channel(*host2.ModelPtr);
  {
    TCommThread thread(&host2.Config, &channel, host2);
    RunFor(200);
    EXPECT_EQ(channel.Steps, 0);
    ApplicationStarted = true;
    EXPECT_TRUE(RunUntil([&] { return channel.Steps > 0; }));
    thread.Terminate();
    EXPECT_TRUE(RunUntil([&] { return thread.HasEnded(); }));
  }
  EXPECT_EQ(host2.CloseCalls, 0);
}

TEST(CommThread, StopEndRoutineAndTimerRebuildChannelAndThread) {
  RecordingHost host;
  host.Install();
  ASSERT_TRUE(RunUntil([&] { return host.Current()->Steps > 0; }));

  ASSERT_TRUE(host.RestartAndWait());
  EXPECT_EQ(host.Built.size(), 2u);
  EXPECT_TRUE(host.ModelPtr->ThreadRunning());
  EXPECT_FALSE(host.CommEnded);
  EXPECT_FALSE(host.RestartPending);
  EXPECT_TRUE(RunUntil([&] { return host.Current()->Steps > 0; }));
  EXPECT_EQ(host.CloseCalls, 0);
}

TEST(CommThread, StopWithCloseRequestedClosesInsteadOfRestarting) {
  RecordingHost host;
  host.Install();
  host.CloseRequested = true;
  host.ModelPtr->StopCommunication();
  ASSERT_TRUE(RunUntil([&] { return host.CloseCalls == 1; }));
  RunFor(300);  // well past the 100 ms restart timer
  EXPECT_EQ(host.Built.size(), 1u);
  EXPECT_TRUE(host.CommEnded);
}

TEST(CommThread, APortErrorInAStepIsShownOnceAndTheChannelIsRebuilt) {
  RecordingHost host;
  host.Install([](TProbeChannel& c) { c.FailStepAt = 3; });
  ASSERT_TRUE(RunUntil([&] { return host.Built.size() >= 2; }));
  ASSERT_GE(host.Errors().size(), 1u);
  EXPECT_EQ(host.Errors()[0], "Communication: Could not read port");
  // The rebuilt channel fails the same way, once per channel: never twice
  // for one channel.
  EXPECT_LE(host.Errors().size(), host.Built.size());
}

TEST(CommThread, AnErrorInOpenIsShownAndTheThreadRunsAllTheSame) {
  RecordingHost host;
  host.Install([](TProbeChannel& c) { c.FailOpen = true; });
  ASSERT_TRUE(RunUntil([&] { return host.Current()->Steps > 5; }));
  ASSERT_EQ(host.Errors().size(), 1u);
  EXPECT_EQ(host.Errors()[0], "Communication: Invalid Handle");
}

TEST(CommThread, IdleChannelNamesNoPortAndOpensNone) {
  TTestHost host;
  host.Config.Connection = 0;
  host.Start();
  EXPECT_EQ(host.ModelPtr->PortName(), "None");
  EXPECT_EQ(host.ModelPtr->ChannelState(), -1);
  EXPECT_EQ(host.ModelPtr->CurrentChannel()->Status().Handle, -1);
  EXPECT_EQ(host.ModelPtr->CurrentChannel()->Status().Medium, "None");
  // A reply-timer expiry reaches the idle channel's timer event, which does nothing.
  host.Controller->ReplyTimeout();
  EXPECT_TRUE(host.Errors().empty());
}

TEST(CommThread, ModelDestructorStopsARunningThreadWithoutDeadlock) {
  RecordingHost host;
  host.Install();
  ASSERT_TRUE(RunUntil([&] { return host.Current()->Steps > 0; }));
  host.Controller.reset();
  host.ModelPtr.reset();  // the thread is still running here
  host.Model = nullptr;
  SUCCEED();
}

// A reply-timer expiry that waited for the step in progress, while that step
// re-armed the timer for a new request, belongs to the old request: the
// channel never sees it. An expiry of the armed timer reaches the channel.
TEST(CommThread, ReplyTimerExpiryMadeStaleByTheStepInProgressIsDropped) {
  RecordingHost host;
  std::atomic<int> plan{0};  // 1: arm, expire during the step, re-arm; 2: arm only
  host.Install([&host, &plan](TProbeChannel& channel) {
    channel.DuringStep = [&host, &plan] {
      const int what = plan.exchange(0);
      if (what == 0) return;
      host.ModelPtr->StartReplyTimer(10);
      if (what == 2) return;
      // The expiry comes while this step holds the channel.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      host.ModelPtr->StartReplyTimer(60000);
    };
  });
  ASSERT_TRUE(RunUntil([&] { return host.Current()->Steps > 0; }));

  plan = 1;
  ASSERT_TRUE(RunUntil([&] { return plan == 0; }));
  RunFor(300);
  EXPECT_EQ(host.Current()->TimerEvents, 0) << "a stale expiry reached the channel";

  plan = 2;
  EXPECT_TRUE(RunUntil([&] { return host.Current()->TimerEvents == 1; }));
  host.ModelPtr->StopReplyTimer();
  host.Shutdown();
}

// ---- nothing waits for ever ----

// A host whose hand-over of the chosen kind throws an error that is no port
// error, as a view or dialog with a fault would.
enum class Throwing { StatusUpdate, StateChanged, ErrorDisplay, EndRoutine };

struct ThrowingHost : RecordingHost {
  void ViewStateChanged() override {
    TTestHost::ViewStateChanged();
    if (Mode == Throwing::StateChanged) throw std::runtime_error("view failed");
  }
  void ShowError(const std::string& message) override {
    TTestHost::ShowError(message);
    if (Mode == Throwing::ErrorDisplay) throw std::runtime_error("error box failed");
  }
  void CloseMainWindow() override {
    TTestHost::CloseMainWindow();
    if (Mode == Throwing::EndRoutine) throw std::runtime_error("close failed");
  }
  Throwing Mode = Throwing::StatusUpdate;
};

// Each hand-over to the host thread that throws hands the error back to the
// worker, which ends its loop as after a port error: the end routine runs,
// and the channel is rebuilt (or, when closing, the window closes), instead
// of the worker waiting in the hand-over for ever.
TEST(CommThread, AnErrorInAHandOverEndsTheLoopInsteadOfHangingIt) {
  struct Case {
    const char* Name;
    Throwing Mode;
    bool Closing;  // the user asked to close: the end routine closes the window
  };
  const Case cases[] = {
      {"status update", Throwing::StatusUpdate, false},
      {"view StateChanged", Throwing::StateChanged, false},
      {"error display", Throwing::ErrorDisplay, false},
      {"end routine", Throwing::EndRoutine, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ThrowingHost host;
    host.Mode = c.Mode;
    host.Install([&c](TProbeChannel& channel) {
      if (c.Mode == Throwing::StatusUpdate) channel.FailUpdateAt = 3;
      if (c.Mode == Throwing::StateChanged) channel.AskForStateChange = true;
      if (c.Mode == Throwing::ErrorDisplay) channel.FailStepAt = 3;
    });
    if (c.Closing) {
      ASSERT_TRUE(RunUntil([&] { return host.Current()->Steps > 0; }));
      host.CloseRequested = true;
      host.ModelPtr->StopCommunication();
      ASSERT_TRUE(RunUntil([&] { return !host.ModelPtr->ThreadRunning(); }, 10000)) << "the worker hangs";
      EXPECT_EQ(host.CloseCalls, 1);
      EXPECT_TRUE(host.CommEnded);
    } else {
      ASSERT_TRUE(RunUntil([&] { return host.Built.size() >= 2; }, 10000)) << "the worker hangs";
      ASSERT_FALSE(host.Errors().empty());
      const char* shown = c.Mode == Throwing::StatusUpdate   ? "status hand-over failed"
                          : c.Mode == Throwing::StateChanged ? "view failed"
                                                             : "Communication: Could not read port";
      EXPECT_EQ(host.Errors()[0], shown);
      // A LOG.TXT sent to support shows why the run ended.
      EXPECT_NE(host.Log().find(host.Errors()[0] + "\r\n"), std::string::npos) << host.Log();
    }
    host.Mode = Throwing::StatusUpdate;  // the host itself throws nothing while shutting down
    host.Shutdown();
  }
}

// A model destroyed before start-up has finished (start-up failed after the
// model was made) ends its thread, which has not made a step yet.
TEST(CommThread, AModelDestroyedBeforeStartUpEndsItsThread) {
  ApplicationStarted = false;
  TTestHost host;
  host.ModelPtr = std::make_unique<TModel>(host);
  host.Model = host.ModelPtr.get();
  host.ModelPtr->SetChannelFactory(
      [](TModel& m, const CmConfig&, PortSettings* s) { return std::make_unique<TProbeChannel>(m, s); });
  host.ModelPtr->Restart(host.Config);

  // Lets a destructor that waits for start-up go on, so a failure shows as
  // a failed expectation rather than a hang.
  std::atomic<bool> done{false};
  std::atomic<bool> rescued{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!done) {
      rescued = true;
      ApplicationStarted = true;
    }
  });
  host.ModelPtr.reset();
  host.Model = nullptr;
  done = true;
  watchdog.join();
  ApplicationStarted = true;
  EXPECT_FALSE(rescued) << "the model's destructor waited for start-up";
}

// A restart that fails still ends the restart, so that the window can close.
TEST(CommThread, ARestartThatThrowsStillClearsRestartPending) {
  RecordingHost host;
  host.Install();
  ASSERT_TRUE(RunUntil([&] { return host.Current()->Steps > 0; }));
  host.ModelPtr->SetChannelFactory([](TModel&, const CmConfig&, PortSettings*) -> std::unique_ptr<CmBase> {
    throw std::runtime_error("no channel for this configuration");
  });
  host.CloseRequested = false;
  host.RestartPending = true;
  host.ModelPtr->StopCommunication();
  ASSERT_TRUE(RunUntil([&] { return !host.RestartPending; }, 10000));
  EXPECT_FALSE(host.ModelPtr->ThreadRunning());
  ASSERT_EQ(host.Errors().size(), 1u);
  EXPECT_EQ(host.Errors()[0], "no channel for this configuration");
}

}  // namespace
