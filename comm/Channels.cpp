#include "comm/Channels.h"

#include "comm/Commnone.h"
#include "comm/Commpardl.h"
#include "comm/Commparul.h"
#include "comm/Commswdl.h"
#include "comm/Commswdl5170.h"

std::unique_ptr<CmBase> CreateChannel(TModel& model, const CmConfig& config,
                                      PortSettings* settings) {
  if (config.Connection == 1 && settings) {
    switch (config.Operation) {
      // Device channels: 1 K7310, 2 TRX5170L, 3 parameter download,
      // 4 and 5 parameter upload.
      case 1: return std::make_unique<CmSwDl7310>(model, settings);
      case 2: return std::make_unique<CmSwDl5170>(model, settings);
      case 3: return std::make_unique<CmParDl>(model, settings);
      case 4: case 5: return std::make_unique<CmParUl>(model, settings);
      default:
        break;
    }
  }
  return std::make_unique<CmNone>(model);
}
