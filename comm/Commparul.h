// The channel of operations 4 and 5, "Parameters from device to PC": listens
// to the plain-text lines the device sends, cuts the byte stream into lines
// (LF ends a line, a CR before it is dropped, a line keeps its first 255
// characters) and hands each line to the model. Sends nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "comm/Commframed.h"
#include "comm/Linecutter.h"
#include "comm/Runstatus.h"

class CmParUl : public CmFramed {
 public:
  enum State : int8_t { Idle = 0, Receiving = 1, PortError = 2 };

  CmParUl(TModel& model, PortSettings* settings);
  ~CmParUl() override;

  void UpdateStatus() override;
  // 1 starts a reception in state 0 (input emptied, old lines cleared);
  // 0 ends it in state 1.
  void Command(int code) override;

  std::string StatusText() const;
  // A reception is a run; ending it (code 0) completes it.
  CmRunStatus RunStatus() const;

 private:
  int8_t OpenedState() override { return Idle; }
  void StepOther(int8_t state) override;  // every state: the channel sends nothing

  uint8_t Receive[256] = {};
  size_t ReceiveCount = 0;
  TLineCutter Lines;
  std::atomic<bool> LineReceived{false};
  int32_t LinesReceived = 0;  // in the reception in progress
};
