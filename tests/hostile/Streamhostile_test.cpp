// A device that streams characters and never a line end, against the
// parameter upload channel on a simulated line: the partial line stays cut
// at 255 characters, no line is handed over, memory does not grow with the
// stream, and the channel keeps receiving. QMSS_HOSTILE_STREAM_SECONDS sets
// how long the stream runs (3 s unless given; 60 for the long figure).
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "sim/Simstream.h"
#include "tests/support/Channelhost.h"
#include "tests/hostile/Peakmemory.h"
#include "tests/support/Eventloop.h"

namespace {

constexpr int UploadTest = 4;  // "Parameters from device to PC - TEST"

int StreamSeconds() {
  const char* text = std::getenv("QMSS_HOSTILE_STREAM_SECONDS");
  const int seconds = text ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 3;
}

TEST(StreamHostile, ALineWithoutEndKeepsTheChannelReceivingInBoundedMemory) {
  const int seconds = StreamSeconds();
  QTemporaryDir dir;
  const std::string noLines = dir.path().toStdString() + "/none.txt";
  std::ofstream(noLines).flush();

  SimOptions options;
  options.StreamFile = noLines;  // no lines first: only the endless one
  options.IntervalMs = 1;
  // More than the channel takes in the time (it reads 256 bytes a step);
  // what it does not take is lost once the host stops reading.
  options.LongLine = seconds * 512 * 1024;
  SimStream sim(options);
  std::string error;
  ASSERT_TRUE(sim.Start(error)) << error;

  ChannelHost host;
  host.StartOn(UploadTest, sim.SlavePath(), 115200);
  ASSERT_TRUE(host.WaitForText("Ready to start receiving"));
  host.PressStart();
  ASSERT_TRUE(host.WaitForText("Receiving"));

  // The simulator has made its line by now; from here on only the channel
  // and the model could grow.
  RunFor(500);
  const int64_t before = TPeakMemory::ResidentBytes();
  const TPeakMemory memory;
  const auto start = std::chrono::steady_clock::now();
  RunFor(seconds * 1000);
  const double ran = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int64_t growth = memory.GrowthBytes();

  EXPECT_EQ(host.State(), 1);
  EXPECT_EQ(host.StateText(), "Receiving");
  EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();
  EXPECT_TRUE(host.ModelPtr->SwDl.DataLines().empty());

  host.Shutdown();  // the line is no longer read: the simulator gives up the rest
  sim.Stop();
  const size_t streamed = sim.Sent().size();
  std::printf("[ figures  ] %.1f s of stream: %zu bytes without a line end taken, resident %.1f MiB, "
              "peak growth +%.1f MiB\n",
              ran, streamed, static_cast<double>(before) / MiB, static_cast<double>(growth) / MiB);
  EXPECT_GT(streamed, size_t{64 * 1024});  // the channel really was fed
  EXPECT_LT(growth, 16 * MiB);             // nothing kept per byte
}

}  // namespace
