#include "core/Controller.h"

#include "comm/Channelcodes.h"
#include "core/Host.h"
#include "core/Model.h"

void TController::Execute(UASwDlFileLoad& action) {
  if (action.Prepared)
    Model.SwDl.CommitImage(std::move(action.Prepared));
  else
    Model.SwDl.LoadFile(action.FileName);
  Model.SwDl.ClearRunOutcome();  // the last run's outcome belongs to the old data
  Model.SendCommand(CmCommand::Stop);  // a run of the old data ends; the channel becomes ready
  Model.Host().ViewUpdate();
}

void TController::Execute(UASwDlStart&) { Model.Start(); }

void TController::Execute(UASwDlAbort&) { Model.Abort(); }

void TController::Execute(UASwDlOperationSelect& action) {
  Model.SwDl.SetOperation(action.Operation);
  Model.SwDl.ClearRunOutcome();
}

void TController::LoadPart(int part, UATotalHexPartLoad& action) {
  if (action.Prepared)
    Model.TotalHex.SetPart(part, std::move(action.Prepared));
  else
    Model.TotalHex.LoadPart(part, action.FileName);
  Model.TotalHex.Shown = static_cast<uint8_t>(part);
  Model.Host().ViewUpdate();
}

void TController::Execute(UATotalHexMainLoad& action) { LoadPart(1, action); }
void TController::Execute(UATotalHexDispLoad& action) { LoadPart(2, action); }
void TController::Execute(UATotalHexLcCommLoad& action) { LoadPart(3, action); }
void TController::Execute(UATotalHexEthernetLoad& action) { LoadPart(4, action); }

void TController::Execute(UATotalHexDisplaySelect& action) {
  TModelTotalHex& t = Model.TotalHex;
  const int n = action.Image;
  if (n >= 1 && n <= 4 && t.Image(n).IsLoaded()) t.Shown = static_cast<uint8_t>(n);
  if (n == 5 && t.Combined) t.Shown = 5;
  Model.Host().ViewUpdate();
}

void TController::Execute(UATotalHexCombine& action) {
  action.Result = Model.TotalHex.Combine();
  action.Problem = Model.TotalHex.Problem();
  if (action.Result) Model.Host().ViewUpdate();
}

void TController::Execute(UATotalHexTotalSave& action) { Model.TotalHex.Save(action.FileName); }

void TController::ReplyTimeout() { Model.ReplyTimeout(); }
