// The channel of operation 3, "Parameters from PC to device": for every
// parameter of the loaded list it reads the value the device holds, writes
// the value from the file and reads the value back. The three values go into
// a table in the log and into the model's three result lists.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "comm/Commframed.h"
#include "comm/Runstatus.h"

class CmParDl : public CmFramed {
 public:
  enum State : int8_t {
    NoList = 0,
    Ready = 1,
    StartRequested = 2,
    PortError = 3,
    SendReadPrevious = 4,
    WaitPrevious = 5,
    SendWrite = 6,
    WaitWrite = 7,
    SendReadNew = 8,
    WaitNew = 9,
  };

  static constexpr int ReplyTimeoutMs = 1000;
  static constexpr int ValueFieldLength = 7;

  CmParDl(TModel& model, PortSettings* settings);
  ~CmParDl() override;

  void UpdateStatus() override;
  void Command(int code) override;

  // The status text of the current state; empty where none is published.
  std::string StatusText() const;
  CmRunStatus RunStatus() const;

  // The 7-byte value field: the text's characters, then a zero byte; a text of
  // 7 or more characters fills the field (cut to 7, no terminator). The bytes
  // after the terminator are zero.
  static void MakeValueField(const std::string& value, uint8_t field[ValueFieldLength]);
  // The characters up to the first zero byte, at most 7.
  static std::string ValueOfField(const uint8_t field[ValueFieldLength]);

 private:
  int8_t OpenedState() override;
  int Request(int8_t sendState, uint8_t* data) override;
  void Requested(int8_t sendState) override;
  int8_t Answered(int8_t sendState, int8_t next) override;
  void TimedOut(int8_t sendState) override;
  void StepOther(int8_t state) override;
  void StartRun();
  void Log(const std::string& text);

  int32_t ParNumber = 0;
  std::string FileValue;
  int32_t Attempts = 0;
  std::atomic<bool> ResultsReady{false};
  int32_t ParametersDone = 0;    // read back in the run in progress
  int32_t ParametersToSend = 0;  // in the run in progress
};
