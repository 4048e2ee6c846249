// The fixture of the download tests against the scripted device: the device
// at the far end of a scripted port on a fake clock, which every channel made
// during the test gets, and a run of an image through the channel host.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/k7310/K7310host.h"
#include "tests/k7310/Scripteddevice.h"
#include "tests/k7310/Testimage.h"
#include "tests/support/Fakeclock.h"
#include "tests/support/Scriptedport.h"

struct ScriptedRun : ::testing::Test {
  // What COM7 names; the scripted port opens whatever it is given.
  static constexpr const char* DevicePath = "/dev/scripted-k7310";

  TFakeClock Clock;
  TScriptedDevice Device;
  TScriptedPortFactory Ports{Clock, Device};

  // Starts the device, loads the image, starts the download and waits until
  // the channel is ready again showing endText; then stops the device. The
  // host is kept for what the run left (log, status); null when the run did
  // not end in time (the failure is recorded).
  std::unique_ptr<TK7310Host> RunToEnd(const TTestImage& image, const std::string& endText, int timeoutMs) {
    Device.Start();
    auto host = std::make_unique<TK7310Host>(DevicePath);
    host->Load(image);
    host->StartDownload();
    const bool ended = host->WaitForIdle(endText, timeoutMs);
    Device.Stop();
    EXPECT_TRUE(ended) << "the run did not end with \"" << endText << "\": " << host->StateText() << "\n"
                       << host->Host.Log();
    return ended ? std::move(host) : nullptr;
  }
};
