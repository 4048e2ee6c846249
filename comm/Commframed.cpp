#include "comm/Commframed.h"

#include "comm/Channelcodes.h"
#include "core/Model.h"

CmFramed::CmFramed(TModel& model, PortSettings* settings, int replyTimeoutMs, int8_t portErrorState,
                   std::span<const CmExchange> exchanges)
    : CmBase(model, settings),
      State_(0),
      ReplyTimeoutMs(replyTimeoutMs),
      PortErrorState(portErrorState),
      Exchanges(exchanges),
      Link(Port, model.ReplyTimer()) {
  Status().Medium = "Serial";
  // Steps never wait for the device: commands and reply time-outs are
  // serialised with them, so that none lands in the middle of a step.
  SerialiseCommands();
}

CmFramed::~CmFramed() = default;

void CmFramed::Open(CmConfig* config) {
  try {
    Config = config;
    OpenPort();
    ApplyLineSettings();
    ApplyReadWhatHasArrived();
    State_ = OpenedState();
  } catch (const ECommError& e) {
    State_ = PortErrorState;
    History.Failure(e.what());
    throw;
  }
}

void CmFramed::ApplyLineSettings() { ApplySettings(); }

int CmFramed::Request(int8_t, uint8_t*) { return 0; }

void CmFramed::Requested(int8_t) {}

bool CmFramed::BelongsToRequest(int8_t) const { return true; }

int8_t CmFramed::Answered(int8_t, int8_t next) { return next; }

void CmFramed::TimedOut(int8_t) {}

void CmFramed::StepOther(int8_t) {}

void CmFramed::DeferPortError(const ECommError& error) { DeferredPortError = error.what(); }

const CmExchange* CmFramed::SentIn(int8_t state) const {
  for (const CmExchange& x : Exchanges)
    if (x.SendState == state) return &x;
  return nullptr;
}

const CmExchange* CmFramed::AwaitedIn(int8_t state) const {
  for (const CmExchange& x : Exchanges)
    if (x.SendState + 1 == state) return &x;
  return nullptr;
}

bool CmFramed::Answer(const CmExchange& exchange) {
  uint8_t address = 0;
  uint8_t command = 0;
  int length = 0;
  if (!Link.ReadFrame(address, command, AnswerData, length)) return false;
  if (address != Frame::Address || command != exchange.Command + 1 || length != exchange.AnswerLength)
    return false;
  if (!BelongsToRequest(exchange.SendState)) return false;
  Model.StopReplyTimer();
  return true;
}

void CmFramed::Step() {
  if (!DeferredPortError.empty()) {
    const std::string message = std::move(DeferredPortError);
    DeferredPortError.clear();
    throw ECommError(message);
  }
  const int8_t state = State_;
  if (const CmExchange* sent = SentIn(state)) {
    uint8_t data[Frame::MaxData];
    const int count = Request(state, data);
    Link.EmptyInput();
    Link.SendFrame(Frame::Address, sent->Command, data, count);
    // The reply time counts from when the request has left the line.
    Model.StartReplyTimer(ReplyTimeoutMs + PendingWireMs());
    State_ = static_cast<int8_t>(state + 1);
    Requested(state);
  } else if (const CmExchange* awaited = AwaitedIn(state)) {
    if (Answer(*awaited)) State_ = Answered(awaited->SendState, awaited->NextState);
  } else {
    StepOther(state);
  }
}

int CmFramed::TimerEvent(int event) {
  if (event != CmReplyTimerEvent) return event;
  if (const CmExchange* x = AwaitedIn(State_)) {
    TimedOut(x->SendState);
    State_ = x->SendState;
  }
  return event;
}
