// A channel for the core tests: counts its steps and records the commands
// and timer events it receives; can be told to fail in Open or in a step, or
// to do something inside its steps.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "comm/Commbase.h"
#include "core/Host.h"
#include "core/Model.h"

class TProbeChannel : public CmBase {
 public:
  explicit TProbeChannel(TModel& model, PortSettings* settings = nullptr)
      : CmBase(model, settings) {
    Status().Medium = "Serial";
    SerialiseCommands();
  }

  void Open(CmConfig* config) override {
    Config = config;
    if (FailOpen) throw ECommError(CommText::InvalidHandle);
  }
  void Step() override {
    if (DuringStep) DuringStep();
    ++Steps;
    if (FailStepAt > 0 && Steps == FailStepAt) throw ECommError(CommText::CouldNotRead);
  }
  void UpdateStatus() override {
    ++Updates;
    if (FailUpdateAt > 0 && Updates == FailUpdateAt) throw std::runtime_error("status hand-over failed");
    if (AskForStateChange) Model.Host().ViewStateChanged();
  }
  void Command(int code) override {
    std::lock_guard<std::mutex> lock(RecordLock);
    Commands.push_back(code);
    State = code;
  }
  int GetState() override { return State; }
  int TimerEvent(int event) override {
    ++TimerEvents;
    return event;
  }

  std::vector<int> CommandsSeen() {
    std::lock_guard<std::mutex> lock(RecordLock);
    return Commands;
  }

  bool FailOpen = false;
  int FailStepAt = 0;
  int FailUpdateAt = 0;            // UpdateStatus throws an error that is no port error
  bool AskForStateChange = false;  // UpdateStatus calls the view's StateChanged
  std::function<void()> DuringStep;  // runs inside every step, under the step lock
  std::atomic<int> State{0};
  std::atomic<int> Steps{0};
  std::atomic<int> Updates{0};
  std::atomic<int> TimerEvents{0};

 private:
  std::mutex RecordLock;
  std::vector<int> Commands;
};

// Makes the model build probe channels; slot always points at the newest.
inline void UseProbeChannels(TModel& model, TProbeChannel*& slot) {
  model.SetChannelFactory([&slot](TModel& m, const CmConfig&, PortSettings* s) {
    auto made = std::make_unique<TProbeChannel>(m, s);
    slot = made.get();
    return made;
  });
}
