#include "tests/gui/Recordingchannel.h"

#include "comm/Channelcodes.h"
#include "core/Host.h"
#include "core/Model.h"

std::vector<int> TChannelScript::Commands() const {
  std::lock_guard<std::mutex> lock(Lock);
  return CommandList;
}

void TChannelScript::Record(int code) {
  std::lock_guard<std::mutex> lock(Lock);
  CommandList.push_back(code);
}

TRecordingChannel::TRecordingChannel(TModel& model, PortSettings* settings, TChannelScript& script)
    : CmBase(model, settings), Script(script) {
  Status().Medium = "Serial";
}

void TRecordingChannel::Open(CmConfig* config) {
  Config = config;
  ++Script.Opens;
  const uint8_t kind = Model.SwDl.OperationKind();
  Script.State = (kind == KindSoftwareDownload || kind == KindParameterDownload) && Model.SwDl.HasData() ? 1 : 0;
}

void TRecordingChannel::UpdateStatus() {
  Model.SwDl.SetRunStatus(Script.RunStatus);
  Model.SwDl.StateText.Set(Script.StateText);
  Model.SwDl.AddressText.Set(Script.AddressText);
  Model.SwDl.UnitText.Set(Script.UnitText);
  if (Script.ChangeFlagged.exchange(false)) Model.Host().ViewStateChanged();
}

void TRecordingChannel::Command(int code) {
  Script.Record(code);
  if (Model.SwDl.OperationKind() == KindParameterUpload) {
    if (code == CmCommand::StartReceiving && Script.State == CmState::UploadIdle) {
      Script.State = CmState::Receiving;
      Model.SwDl.ClearReceivedLines();
    }
    if (code == CmCommand::StopReceiving && Script.State == CmState::Receiving) Script.State = CmState::UploadIdle;
    return;
  }
  if (code == CmCommand::Stop) {
    Script.State = CmState::Ready;
    Script.RunStatus = CmRunStatus{};
  }
  if (code == CmCommand::Start && Script.State == CmState::Ready) {
    Script.State = 6;
    if (Model.SwDl.OperationKind() == KindParameterDownload) {
      Script.RunStatus.Phase = CmPhase::Transferring;
      Script.RunStatus.TotalUnits = Model.SwDl.SendableParameterCount();
      Model.SwDl.SetRunStatus(Script.RunStatus);
    }
  }
}
