// The download and parameter view, shown for connection type "Serial": pick
// an operation, open its file, start and abort transfers, receive and save a
// device's parameters, watch the channel's progress.
#pragma once

#include <cstdint>
#include <memory>

#include "views/Framebase.h"
#include "views/Frameserswdlvcl.h"

class HexFile;
class TController;
class TFMain;
class TModel;

class TFrSerSwDl : public TFrBase {
 public:
  TFrSerSwDl(TFMain& main, TModel& model, TController& controller);
  ~TFrSerSwDl() override;

  void Update() override;
  void StateChanged() override;
  int32_t GetConnection() override;
  void SetConnection(int32_t connection) override;
  void TransferChanged() override { RefreshControls(); }
  QWidget* Widget() const override { return VCL.get(); }

  // Fields and buttons for the current operation's kind and channel state.
  void RefreshControls();
  void LayoutGrid(uint8_t kind);
  // One grid row per accepted parameter line of the operation's lines.
  void FillParameterRows();
  // Shows or hides the progress bar for the running transfer, from the
  // channel's run status.
  void UpdateProgress();
  // The bar once no run is in progress: how the last one ended, or hidden.
  void ShowOutcome();

  TFrSerSwDlVCL& Widgets() { return *VCL; }

 private:
  void TakeReceivedLines();
  void ApplyParameterResults();
  void ClearGridBody();

  TFMain& Main;
  TModel& Model;
  std::unique_ptr<TFrSerSwDlVCL> VCL;
};
