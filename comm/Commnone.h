// The idle channel: driven like every other channel, talks to nothing.
#pragma once

#include "comm/Commbase.h"

class CmNone : public CmBase {
 public:
  explicit CmNone(TModel& model);
  void Open(CmConfig* config) override;
  void Step() override {}
  void UpdateStatus() override {}
  std::string PortName() override { return "None"; }
};
