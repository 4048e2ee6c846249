#include "comm/Commframed.h"

#include "comm/Channelcodes.h"
#include "core/Host.h"
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
    OpenLine();
    State_ = OpenedState();
  } catch (const ECommError& e) {
    ClosePort();
    State_ = PortErrorState;
    History.Failure(e.what());
    PortWait.Missing(Clock().Now(), e.what());
    throw;
  }
}

void CmFramed::OpenLine() {
  OpenPort();
  ApplyLineSettings();
  ApplyReadWhatHasArrived();
}

void CmFramed::WaitForPort() {
  bool requested = false;
  if (!ReopenStep(PortWait, [this] { OpenLine(); }, requested)) {
    if (requested) RequestedCode = -1;  // the attempt asked for has failed
    return;
  }
  State_ = OpenedState();
  // The start that was asked for while the port was absent.
  if (RequestedCode.exchange(-1) == CmCommand::Start && !Exchanges.empty()) Command(CmCommand::Start);
}

void CmFramed::WatchForHangup() {
  if (!TakeHangup(PortWait)) return;
  State_ = PortErrorState;
  StatusChanged = true;
}

std::string CmFramed::PortErrorText() const {
  return PortWait.Cause().empty() ? "Error!" : "Error! " + PortWait.Cause();
}

void CmFramed::RequestPortAttempt(int code) {
  RequestedCode = code;
  PortWait.RequestAttempt();
}

void CmFramed::ShowPortMessage() {
  const std::string message = PortWait.TakeMessage();
  if (!message.empty()) Model.Host().ShowError(message);
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
  if (State_ == PortErrorState) {
    WaitForPort();
    return;
  }
  // Idle: no image or list, or ready; the upload only while not receiving
  // (a reception's reads notice a hang-up themselves).
  if (State_ == 0 || (State_ == 1 && !Exchanges.empty())) {
    WatchForHangup();
    if (State_ == PortErrorState) return;
  }
  try {
    StepState();
  } catch (const ECommError& e) {
    // The run has failed: the worker shows the error and ends, and the
    // channel is rebuilt. Until then the view shows the run as ended. A
    // port that has hung up (a cable pulled) says so on a second line.
    std::string message = e.what();
    if (message.find('\n') == std::string::npos && (!Port.IsOpen() || Port.HungUp()))
      message += "\n" + PortHangupCause(Config ? Config->Port : 0);
    History.Failure(message);
    History.Failed();
    PortWait.Missing(Clock().Now(), message);
    State_ = PortErrorState;
    throw ECommError(message);
  }
}

void CmFramed::StepState() {
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
