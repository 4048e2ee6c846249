#include "core/Model.h"

#include "files/Inifile.h"
#include "comm/Channelcodes.h"
#include "comm/Channels.h"
#include "comm/Commbase.h"
#include "comm/Commthrd.h"
#include "core/Host.h"

TModel::TModel(THost& host, bool writeIniAtExit)
    : HostRef(host),
      WriteIniAtExit(writeIniAtExit),
      ChannelFactory(CreateChannel),
      tmCommTimeout(host.Loop(), [this](uint64_t generation) { ReplyTimerExpired(generation); }) {
  const TIniFile ini(HostRef.IniFileName());
  SwDl.SetOperation(OperationIdOf(ini.ReadString("CONFIG", "OPERATION", "None")));
  for (const TOperation& op : Operations) {
    PortSettings* settings = SwDl.OpState(op.Id).Settings.get();
    if (!settings) continue;
    settings->BaudRate = ini.ReadInteger(op.Name, "BAUDRATE", 1200);
    const std::string parity = ini.ReadString(op.Name, "PARITY", "E");
    // Only the first character counts; an empty value leaves the character
    // code 0, which the port refuses as invalid settings.
    settings->Parity = parity.empty() ? '\0' : parity[0];
  }
}

TModel::~TModel() {
  if (WriteIniAtExit) WriteIniKeys();
  ShuttingDown = true;
  tmCommTimeout.Stop();
  if (Thread) {
    // Normally the thread has ended by now. If not, stop it and keep serving
    // its hand-overs until it has left, so that it is never left blocked in
    // one while this thread waits for it.
    Thread->Terminate();
    while (!Thread->HasEnded()) HostRef.Loop().ProcessPending(5);
    Thread->WaitEnded();
  }
  Thread.reset();
  Channel.reset();
}

void TModel::WriteIniKeys() {
  TIniFile ini(HostRef.IniFileName());
  ini.WriteString("CONFIG", "OPERATION", Operations[0].Name);
  if (const TOperation* op = FindOperation(SwDl.GetOperation()))
    ini.WriteString("CONFIG", "OPERATION", op->Name);
  for (const TOperation& op : Operations) {
    const PortSettings* settings = SwDl.OpState(op.Id).Settings.get();
    if (!settings) continue;
    ini.WriteInteger(op.Name, "BAUDRATE", settings->BaudRate);
    // No letter (an empty value read at start) is written back empty, never
    // as a NUL character that would lose the key's text for good.
    ini.WriteString(op.Name, "PARITY", settings->Parity ? std::string(1, settings->Parity) : std::string());
  }
}

void TModel::Restart(CmConfig& config) {
  if (ShuttingDown) return;
  if (Thread) {
    Thread->WaitEnded();
    HostRef.CommEnded = true;
    Thread.reset();
  }
  Channel.reset();
  tmCommTimeout.Stop();

  // The channel works on its own copy of the line settings, so that the
  // settings dialog can change the operation's record while the old channel
  // still runs; the copy is taken anew at every restart.
  ChannelSettings.reset();
  if (const PortSettings* settings = SwDl.OpState(config.Operation < OperationCount ? config.Operation : 0).Settings.get())
    ChannelSettings = std::make_unique<PortSettings>(*settings);
  Channel = ChannelFactory(*this, config, ChannelSettings.get());
  Thread = std::make_unique<TCommThread>(&config, Channel.get(), HostRef);
}

void TModel::StopCommunication() {
  if (Thread) Thread->Terminate();
}

void TModel::ChannelCommand(int code) {
  if (Channel) Channel->RunCommand(code);
}

void TModel::SendCommand(int code) {
  ChannelCommand(code);
  SwDl.CommandIssued = true;
  HostRef.ViewStateChanged();
}

void TModel::Start() {
  switch (SwDl.OperationKind()) {
    case KindSoftwareDownload:
    case KindParameterDownload:
      ChannelCommand(CmCommand::Start);
      break;
    case KindParameterUpload:
      if (ChannelState() != CmState::UploadIdle) {
        ChannelCommand(CmCommand::StopReceiving);
        SwDl.ReceiveStopped = true;
      } else {
        ChannelCommand(CmCommand::StartReceiving);
      }
      break;
    default:
      break;
  }
  SwDl.CommandIssued = true;
  HostRef.ViewStateChanged();
}

void TModel::Abort() {
  switch (SwDl.OperationKind()) {
    case KindSoftwareDownload:
    case KindParameterDownload:
      ChannelCommand(CmCommand::Stop);
      break;
    case KindParameterUpload:
      ChannelCommand(CmCommand::StopReceiving);
      SwDl.ReceiveStopped = true;
      break;
    default:
      break;
  }
  SwDl.CommandIssued = true;
  HostRef.ViewStateChanged();
}

std::string TModel::PortName() const { return Channel ? Channel->PortName() : std::string(); }

void TModel::ListOperations(std::vector<std::string>& list) {
  list.clear();
  for (const TOperation& op : Operations) list.emplace_back(op.Name);
}

void TModel::StartReplyTimer(int milliseconds) { tmCommTimeout.Start(milliseconds); }

void TModel::StopReplyTimer() { tmCommTimeout.Stop(); }

void TModel::ReplyTimeout() {
  tmCommTimeout.Stop();
  if (Channel) Channel->RunTimerEvent(CmReplyTimerEvent);
}

void TModel::ReplyTimerExpired(uint64_t generation) {
  if (!Channel) return;
  // The answer may have come while this expiry waited for the step in
  // progress; the step then disarmed or re-armed the timer and the expiry no
  // longer belongs to the request the channel waits for.
  Channel->RunTimerEvent(CmReplyTimerEvent, [this, generation] {
    if (generation != tmCommTimeout.Generation()) return false;
    tmCommTimeout.Stop();
    return true;
  });
}

int TModel::ChannelState() const { return Channel ? Channel->GetState() : -1; }

bool TModel::InTransfer() const {
  const int s = ChannelState();
  switch (SwDl.OperationKind()) {
    case KindSoftwareDownload:
    case KindParameterDownload:
      return s >= CmState::FirstBusy;
    case KindParameterUpload:
      return s == CmState::Receiving;
    default:
      return false;
  }
}

bool TModel::ThreadRunning() const { return Thread && !Thread->HasEnded(); }
