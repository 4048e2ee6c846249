// The fixture of the download tests against the scripted device: a pty with
// the device on its master side, and a run of an image through the channel
// host on its slave side.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/k7310/K7310host.h"
#include "tests/k7310/Scripteddevice.h"
#include "tests/k7310/Testimage.h"

struct ScriptedRun : ::testing::Test {
  TestPty Pty;
  TScriptedDevice Device{Pty};

  void SetUp() override { ASSERT_TRUE(Pty.IsOpen()); }

  // Starts the device, loads the image, starts the download and waits until
  // the channel is ready again showing endText; then stops the device. The
  // host is kept for what the run left (log, status); null when the run did
  // not end in time (the failure is recorded).
  std::unique_ptr<TK7310Host> RunToEnd(const TTestImage& image, const std::string& endText, int timeoutMs) {
    Device.Start();
    auto host = std::make_unique<TK7310Host>(Pty.SlavePath());
    host->Load(image);
    host->StartDownload();
    const bool ended = host->WaitForIdle(endText, timeoutMs);
    Device.Stop();
    EXPECT_TRUE(ended) << "the run did not end with \"" << endText << "\": " << host->StateText() << "\n"
                       << host->Host.Log();
    return ended ? std::move(host) : nullptr;
  }
};
