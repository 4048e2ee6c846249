// Executes the views' user actions on the model. Holds no state.
#pragma once

#include "core/Useraction.h"

class TModel;

class TController {
 public:
  explicit TController(TModel& model) : Model(model) {}

  void Execute(UASwDlFileLoad& action);
  void Execute(UASwDlStart& action);
  void Execute(UASwDlAbort& action);
  void Execute(UASwDlOperationSelect& action);
  void Execute(UATotalHexMainLoad& action);
  void Execute(UATotalHexDispLoad& action);
  void Execute(UATotalHexLcCommLoad& action);
  void Execute(UATotalHexEthernetLoad& action);
  void Execute(UATotalHexDisplaySelect& action);
  void Execute(UATotalHexCombine& action);
  void Execute(UATotalHexTotalSave& action);
  void ReplyTimeout();

 private:
  void LoadPart(int part, UATotalHexPartLoad& action);

  TModel& Model;
};
