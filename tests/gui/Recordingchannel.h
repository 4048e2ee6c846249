// A stand-in channel for the view tests: records the commands it gets and
// moves between the states the views look at, as the device channels do,
// without any device. Its texts and state live in a TChannelScript that
// outlives the channels (a restart builds a new one).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "comm/Commbase.h"
#include "comm/Runstatus.h"

struct TChannelScript {
  std::vector<int> Commands() const;
  void Record(int code);
  int Opens = 0;
  // State of the current channel; the test may set it.
  std::atomic<int> State{0};
  std::string StateText;  // published by UpdateStatus (host thread)
  std::string AddressText;
  std::string UnitText;
  CmRunStatus RunStatus;  // published by UpdateStatus, before the texts
  // Set by the test: the next status hand-over calls the view's StateChanged.
  std::atomic<bool> ChangeFlagged{false};

 private:
  mutable std::mutex Lock;
  std::vector<int> CommandList;
};

class TRecordingChannel : public CmBase {
 public:
  TRecordingChannel(TModel& model, PortSettings* settings, TChannelScript& script);

  void Open(CmConfig* config) override;
  void Step() override {}
  void UpdateStatus() override;
  std::string PortName() override { return "COM200"; }
  // Download kinds: 1 stops (state 1), 2 starts from 1 (state 6, running;
  // a parameter download publishes its count of parameters at once).
  // Upload: 1 from 0 starts receiving (state 1, lines cleared), 0 stops.
  void Command(int code) override;
  int GetState() override { return Script.State; }

 private:
  TChannelScript& Script;
};
