// The total hex file tool: four part images loaded, shown, combined into one
// total image and saved, without any device.
#pragma once

#include <memory>

#include "views/Framebase.h"
#include "views/Frametooltotalhexvcl.h"

class TController;
class TFMain;
class TModel;

class TFrToolTotalHex : public TFrBase {
 public:
  TFrToolTotalHex(TFMain& main, TModel& model, TController& controller);
  ~TFrToolTotalHex() override;

  void Update() override;
  QWidget* Widget() const override { return VCL.get(); }

  TFrToolTotalHexVCL& Widgets() { return *VCL; }

 private:
  TModel& Model;
  std::unique_ptr<TFrToolTotalHexVCL> VCL;
};
