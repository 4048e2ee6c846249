// The base of the channels that poll the line once a step and never wait for
// the device: the TRX5170L download, the parameter download and the parameter
// upload. It opens the port with reads that return at once with what has
// arrived, runs the channel's table of request-and-answer exchanges (send the
// request, wait in the next state for its answer, send again when the reply
// timer expires) and raises on the worker thread a port error that a command
// met on the host thread. The parameter upload sends nothing: its device
// talks in plain lines, so its table is empty and it only takes the opening
// and the deferred port error.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "comm/Commbase.h"
#include "comm/Commframe.h"
#include "comm/Portwait.h"
#include "comm/Runstatus.h"

// One request and its answer. The state after SendState waits for the answer.
struct CmExchange {
  int8_t SendState;   // sends the request
  uint8_t Command;    // the request's command; the answer carries Command + 1
  int AnswerLength;   // data bytes of the answer
  int8_t NextState;   // after the answer; CmExchange::Decided: the channel decides
  static constexpr int8_t Decided = -1;
};

class CmFramed : public CmBase {
 public:
  ~CmFramed() override;

  // Opens the port with the channel's line settings and read-what-has-arrived
  // time-outs and enters OpenedState(). A port error enters the port error
  // state, is recorded as the run status's failure and raised again.
  void Open(CmConfig* config) final;
  // Raises a deferred port error; else sends the request of a sending state,
  // takes the answer in a waiting state, or leaves the rest to StepOther.
  void Step() final;
  int GetState() override { return State_; }
  // The reply timer in a waiting state: the request goes out again.
  int TimerEvent(int event) final;

 protected:
  CmFramed(TModel& model, PortSettings* settings, int replyTimeoutMs, int8_t portErrorState,
           std::span<const CmExchange> exchanges);

  // Baud rate and parity the port opens with; the channel's own by default.
  virtual void ApplyLineSettings();
  // The state after a successful open.
  virtual int8_t OpenedState() = 0;
  // Before a request goes out: fills its data (room for Frame::MaxData bytes)
  // and returns the count.
  virtual int Request(int8_t sendState, uint8_t* data);
  // After the request has gone out and the channel waits for the answer.
  virtual void Requested(int8_t sendState);
  // Whether the answer of the awaited command and length (its data in
  // AnswerData) belongs to the request sendState sent; one that does not is
  // passed over, and the channel waits on. True by default.
  virtual bool BelongsToRequest(int8_t sendState) const;
  // The answer (its data in AnswerData) has come: returns the next state;
  // next is the table's, CmExchange::Decided where the channel chooses.
  virtual int8_t Answered(int8_t sendState, int8_t next);
  // The reply timer expired while waiting; the request goes out again next.
  virtual void TimedOut(int8_t sendState);
  // A state outside the table.
  virtual void StepOther(int8_t state);

  // Keeps a port error met on the host thread, where none may escape, for
  // the next step to raise on the worker thread.
  void DeferPortError(const ECommError& error);

  // The port error state means the port is absent: the channel waits for it
  // and opens it again by itself (once a second), and a port that hangs up
  // while the channel is idle is closed and waited for the same way.
  // "Error!" and why the port is absent, for the state text.
  std::string PortErrorText() const;
  // A command in the port error state: one attempt to open at once, whose
  // failure is shown; a start is carried out once the port has opened.
  void RequestPortAttempt(int code);
  // In UpdateStatus: shows the failure of such an attempt, once.
  void ShowPortMessage();

  std::atomic<int8_t> State_;
  CmRunHistory History;
  uint8_t AnswerData[Frame::MaxData] = {};

 private:
  void OpenLine();  // opens the port and sets the line up; raises the port error
  void StepState();  // the step of a state with the port open
  void WaitForPort();
  void WatchForHangup();
  const CmExchange* SentIn(int8_t state) const;     // the exchange state sends
  const CmExchange* AwaitedIn(int8_t state) const;  // the exchange state waits for
  // Reads what has arrived: true for a frame from the device with the
  // exchange's answer command and data length that belongs to the request;
  // the reply timer then stops.
  bool Answer(const CmExchange& exchange);

  const int ReplyTimeoutMs;
  const int8_t PortErrorState;
  const std::span<const CmExchange> Exchanges;
  TFrameLink Link;
  std::string DeferredPortError;
  CmPortWait PortWait;
  std::atomic<int> RequestedCode{-1};
};
