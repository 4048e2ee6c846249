#include "tests/gui/Recordingchannel.h"

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
  Model.SwDl.StateText.Set(Script.StateText);
  Model.SwDl.AddressText.Set(Script.AddressText);
  Model.SwDl.UnitText.Set(Script.UnitText);
  if (Script.ChangeFlagged.exchange(false)) Model.Host().ViewStateChanged();
}

void TRecordingChannel::Command(int code) {
  Script.Record(code);
  if (Model.SwDl.OperationKind() == KindParameterUpload) {
    if (code == 1 && Script.State == 0) {
      Script.State = 1;
      Model.SwDl.ClearReceivedLines();
    }
    if (code == 0 && Script.State == 1) Script.State = 0;
    return;
  }
  if (code == 1) Script.State = 1;
  if (code == 2 && Script.State == 1) Script.State = 6;
}
