#include "comm/Commparul.h"

#include "comm/Channelcodes.h"
#include "core/Host.h"
#include "core/Model.h"

CmParUl::CmParUl(TModel& model, PortSettings* settings) : CmBase(model, settings) {
  Status().Medium = "Serial";
  // Steps never wait for the device: the model serialises commands with them,
  // so a start never clears the lines in the middle of a step's hand-over.
  SerialisedCommands = true;
}

CmParUl::~CmParUl() = default;

void CmParUl::Open(CmConfig* config) {
  try {
    Config = config;
    OpenPort();
    ApplySettings();
    ApplyReadWhatHasArrived();
    State_ = Idle;
  } catch (const ECommError& e) {
    State_ = PortError;
    History.Failure(e.what());
    throw;
  }
}

void CmParUl::Command(int code) {
  if (code == CmCommand::StartReceiving && State_ == Idle) {
    State_ = Receiving;
    History.Started();
    LinesReceived = 0;
    // What the device sent while nobody listened is dropped. This runs on the
    // host thread, where no port error may escape: the next step raises it.
    try {
      DiscardPendingInput(CommText::CouldNotReadEmpty);
    } catch (const ECommError& e) {
      DeferredPortError = e.what();
    }
    Lines.Reset();  // a partial line of the last reception is dropped
    ReceiveCount = 0;
    Model.SwDl.ClearReceivedLines();
    LineReceived = false;
  } else if (code == CmCommand::StopReceiving && State_ == Receiving) {
    State_ = Idle;
    History.Completed();
  }
}

void CmParUl::Step() {
  if (!DeferredPortError.empty()) {
    const std::string message = std::move(DeferredPortError);
    DeferredPortError.clear();
    throw ECommError(message);
  }
  if (State_ != Receiving) return;
  ReceiveCount = ReadPort(Receive, sizeof Receive, CommText::CouldNotRead);
  Lines.Take(Receive, ReceiveCount, [this](const std::string& line) {
    Model.SwDl.AddReceivedLine(line);
    ++LinesReceived;
    LineReceived = true;
  });
}

std::string CmParUl::StatusText() const {
  switch (State_.load()) {
    case Idle:
      return "Ready to start receiving";
    case Receiving:
      return "Receiving";
    case PortError:
      return "Error!";
    default:
      return "-";
  }
}

CmRunStatus CmParUl::RunStatus() const {
  const int8_t s = State_;
  CmRunStatus status =
      History.Record(s == PortError ? CmPhase::Failed : s == Receiving ? CmPhase::Transferring : CmPhase::Idle);
  status.DoneUnits = LinesReceived;
  return status;
}

void CmParUl::UpdateStatus() {
  Model.SwDl.SetRunStatus(RunStatus());
  Model.SwDl.StateText.Set(StatusText());
  if (LineReceived.exchange(false)) Model.Host().ViewStateChanged();
}
