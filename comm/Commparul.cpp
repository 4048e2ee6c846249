#include "comm/Commparul.h"

#include "comm/Channelcodes.h"
#include "core/Host.h"
#include "core/Model.h"

// The device sends plain lines and is never asked: no exchanges, no reply time.
CmParUl::CmParUl(TModel& model, PortSettings* settings)
    : CmFramed(model, settings, 0, PortError, {}) {}

CmParUl::~CmParUl() = default;

void CmParUl::Command(int code) {
  if (State_ == PortError) {
    // The port is absent: one attempt to open it at once.
    RequestPortAttempt(code);
    return;
  }
  if (code == CmCommand::StartReceiving && State_ == Idle) {
    State_ = Receiving;
    History.Started();
    LinesReceived = 0;
    // What the device sent while nobody listened is dropped. This runs on the
    // host thread, where no port error may escape: the next step raises it.
    try {
      DiscardPendingInput(CommText::CouldNotReadEmpty);
    } catch (const ECommError& e) {
      DeferPortError(e);
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

void CmParUl::StepOther(int8_t state) {
  if (state != Receiving) return;
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
      return PortErrorText();
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
  const bool changed = StatusChanged.exchange(false);
  if (LineReceived.exchange(false) || changed) Model.Host().ViewStateChanged();
  ShowPortMessage();
}
