// The abstract base of every communication channel: a state machine that the
// worker thread advances one Step at a time, owning one serial port.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "comm/Commconfig.h"
#include "comm/Commerror.h"
#include "comm/Portwait.h"
#include "comm/Serialport.h"

class TModel;

struct CmStatus {
  std::string Medium;  // "None" for the idle channel, "Serial" otherwise
  int Handle = -1;     // the open port, -1 when none
};

class CmBase {
 public:
  CmBase(TModel& model, PortSettings* settings);
  virtual ~CmBase();
  CmBase(const CmBase&) = delete;
  CmBase& operator=(const CmBase&) = delete;

  // In slot order. The threads go through RunStep, RunCommand and
  // RunTimerEvent below, which take the channel's lock as it needs; a test
  // that drives a channel from one thread may call these directly.
  virtual void Open(CmConfig* config) = 0;
  virtual void Step() = 0;
  virtual bool HasUpdate();
  virtual void UpdateStatus() = 0;
  virtual std::string PortName();
  virtual void Command(int code);
  virtual int GetState();
  virtual int TimerEvent(int event);

  CmStatus& Status() { return *StatusRecord; }
  // Bytes that have come from the device since the port was opened; the
  // host reads it while the worker runs, to tell a silent device.
  uint64_t BytesReceived() const { return Port.BytesReceived(); }

  // The entry points of the threads. Each decides the locking: a step always
  // runs under the channel's step lock; a channel whose steps never block
  // takes that lock around commands and timer events too, so that none lands
  // in the middle of a step and a stop takes effect after the step in
  // progress. A channel whose steps block (they wait for replies up to a
  // second) keeps its commands lock-free instead, so that a stop is never
  // held up by a waiting step.
  void RunStep();               // the worker thread
  void RunCommand(int code);    // the host thread
  // The host thread. stillDue, when given, runs first under the same lock:
  // false drops the event (a reply timer expiry that a step made stale while
  // it waited for the lock).
  int RunTimerEvent(int event, const std::function<bool()>& stillDue = {});

 protected:
  // Called by the constructor of a channel whose steps never block.
  void SerialiseCommands() { SerialisedCommands = true; }

  // Port operations; each raises ECommError with its fixed text.
  void OpenPort();
  void ApplySettings();                              // the channel's own settings
  void ApplySettings(const PortSettings* settings);  // baud and parity from another record
  void ApplyTimeouts();                              // every read waits up to 1000 ms in total
  void ApplyTimeouts(const PortTimeouts& timeouts, const char* errorText);
  // A read returns at once with what has arrived: the framed channels poll
  // the line once a step and time their replies with the reply timer.
  void ApplyReadWhatHasArrived();
  // One write of the whole frame, then a flush. Each gives up with its port
  // error when the line has not taken the bytes within their wire time and
  // 2 s, so that a stalled adapter never holds the worker (or a command
  // waiting for the step lock) for good.
  void WritePort(const uint8_t* data, size_t count);
  // One read of up to count bytes under the port's time-outs.
  size_t ReadPort(uint8_t* buffer, size_t count, const char* errorText);
  // Reads until a read returns nothing, discarding what came.
  void DiscardPendingInput(const char* errorText);
  // Milliseconds until the bytes written so far have left the line. A reply
  // timer armed after a write adds them, so that it counts from then.
  int PendingWireMs() const;
  void ClosePort();
  // One step of waiting for an absent port (wait says when to try next):
  // sleeps until the next attempt, or tries openLine once. The failure of an
  // attempt the user asked for (requested) is logged and shown once, in
  // UpdateStatus; an open is logged. Whether the port is open now.
  bool ReopenStep(CmPortWait& wait, const std::function<void()>& openLine, bool& requested);
  // Whether the open port has hung up (the device is gone); it is then
  // closed, the cause logged, and wait told that the port is missing.
  bool TakeHangup(CmPortWait& wait);
  // The clock of the port: the channel's own pauses and waits go by it.
  TClock& Clock() const { return Port.Clock(); }

  TModel& Model;
  std::atomic<bool> AbortRequest{false};
  std::atomic<bool> StatusChanged{false};
  std::atomic<int32_t> DoneCount{0};
  std::unique_ptr<CmStatus> StatusRecord;
  CmConfig* Config = nullptr;
  PortSettings* Settings;

 private:
  std::mutex StepLock;
  bool SerialisedCommands = false;
  std::unique_ptr<TSerialPort> OwnedPort;  // from the port factory

 protected:
  TSerialPort& Port;
};
