// The start view, shown for connection type "None".
#pragma once

#include <memory>

#include "views/Framebase.h"
#include "views/Framestartvcl.h"

class TFMain;

class TFrStart : public TFrBase {
 public:
  explicit TFrStart(TFMain& main);
  ~TFrStart() override;

  void Update() override;
  int32_t GetConnection() override;
  void SetConnection(int32_t connection) override;
  QWidget* Widget() const override { return VCL.get(); }

  TFrStartVCL& Widgets() { return *VCL; }

 private:
  TFMain& Main;
  std::unique_ptr<TFrStartVCL> VCL;
};
