// The worker thread and its hand-shakes with the host: status after every
// step, the stop / end routine / 100 ms / rebuild cycle, errors in Open and
// in a step.
#include <gtest/gtest.h>

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

}  // namespace
