// The fixture of the framed channels' tests against the scripted framed
// device: the device at the far end of a scripted port on a fake clock, which
// every channel made during the test gets, and a channel host whose loop runs
// on the same clock, so that reply time-outs pass in fake time.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "tests/framed/Scriptedframeddevice.h"
#include "tests/support/Channelhost.h"
#include "tests/support/Fakeclock.h"
#include "tests/support/Fakeclockloop.h"
#include "tests/support/Scriptedport.h"

struct FramedRun : ::testing::Test {
  // What COM7 names; the scripted port opens whatever it is given.
  static constexpr const char* DevicePath = "/dev/scripted-framed";

  TFakeClock Clock;
  TFakeClockLoop Loop{Clock};
  TScriptedFramedDevice Device;
  TScriptedPortFactory Ports{Clock, Device};
  ChannelHost Host{&Loop};
  // The worker ends before the host goes: it may still log (a device
  // stopped by the test hangs up) while the host's destructors run.
  void TearDown() override { Host.Shutdown(); }

  // Starts the channel of operation at 115200 baud, parity N, and loads the
  // file with text; waits until it shows readyText.
  void Begin(int operation, const std::string& fileName, const std::string& text, const std::string& readyText) {
    Host.StartOn(operation, DevicePath, 115200);
    const std::string path = Host.Folder() + "/" + fileName;
    std::ofstream(path, std::ios::binary) << text;
    Host.LoadFile(path);
    ASSERT_TRUE(Host.WaitForText(readyText)) << Host.StateText();
  }

  // The records of the host's writes only.
  std::vector<TLineRecord> HostWrites() const {
    std::vector<TLineRecord> writes;
    for (const TLineRecord& r : Device.Records())
      if (r.FromHost) writes.push_back(r);
    return writes;
  }
};

// One frame of an expected trace: who sent it and its bytes.
struct TTraceFrame {
  bool FromHost;
  std::vector<uint8_t> Bytes;
  bool operator==(const TTraceFrame&) const = default;
};

inline std::vector<TTraceFrame> TraceOf(const std::vector<TLineRecord>& records) {
  std::vector<TTraceFrame> trace;
  for (const TLineRecord& r : records) trace.push_back({r.FromHost, r.Bytes});
  return trace;
}

// "host 02 03 d0 00 d3" / "device ..." in test failures.
inline void PrintTo(const TTraceFrame& frame, std::ostream* out) {
  *out << (frame.FromHost ? "host" : "device");
  static const char digits[] = "0123456789abcdef";
  for (uint8_t b : frame.Bytes) *out << ' ' << digits[b >> 4] << digits[b & 15];
}

inline std::chrono::milliseconds Millis(TClock::Duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d);
}
