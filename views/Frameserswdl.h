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
  // Shows or hides the progress bar for the running transfer.
  void UpdateProgress();
  // The user starts a transfer: the parameter count starts again.
  void TransferStarting();

  TFrSerSwDlVCL& Widgets() { return *VCL; }

 private:
  void TakeReceivedLines();
  void ApplyParameterResults();
  void ClearGridBody();
  // Bytes with data of a K7310 processor's part (1 to 4) in the current image.
  int32_t ProcessorPartLength(int processor);

  TFMain& Main;
  TModel& Model;
  std::unique_ptr<TFrSerSwDlVCL> VCL;

  int ParametersDone = 0;
  int ParametersToSend = 0;
  const HexFile* PartLengthsOf = nullptr;  // image the cached lengths belong to
  int32_t PartLengths[5] = {};
};

// The number of parameters the parameter download sends for these lines: the
// accepted lines in file order whose numbers rise, up to 65535.
int SendableParameterCount(const std::vector<std::string>& lines);
