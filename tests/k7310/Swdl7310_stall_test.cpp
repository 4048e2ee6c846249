// An adapter that takes no more bytes (stalled, or a line whose other end
// never reads): the step's write gives up with the port error instead of
// blocking the worker, and the channel is rebuilt as after any port error.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/k7310/K7310host.h"
#include "tests/k7310/Testimage.h"
#include "tests/support/Eventloop.h"
#include "tests/support/Pty.h"

namespace {

TEST(StalledLine, TheStepRaisesThePortErrorWithinItsBoundAndTheChannelIsRebuilt) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  ASSERT_TRUE(pty.FillLine());
  TTestImage image;
  image.Fill(1, 0, 0x100, 5);
  TK7310Host host(pty.SlavePath());
  host.Load(image);
  ASSERT_TRUE(RunUntil([&] { return host.StateText() == ReadyText; }));

  const auto start = std::chrono::steady_clock::now();
  host.StartDownload();
  // The start pause (1 s), the connect pause, then the write of 0x7F: its
  // wire time and 2 s. Generous: the bound is about 3.2 s.
  ASSERT_TRUE(RunUntil([&] { return !host.Host.Errors().empty(); }, 20000)) << "the write blocks";
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_EQ(host.Host.Errors()[0], "Communication: Could not transmit data");
  EXPECT_NE(host.Host.Log().find("Communication: Could not transmit data\r\n"), std::string::npos);

  // The channel is rebuilt 100 ms after the worker ended, on the same port.
  ASSERT_TRUE(RunUntil([&] { return host.Host.UpdateCalls > 0 && host.StateText() == ReadyText; }, 10000));
  EXPECT_TRUE(host.Host.ModelPtr->ThreadRunning());
  EXPECT_EQ(host.Host.Errors().size(), 1u);
}

}  // namespace
