#include "comm/Channels.h"

#include "comm/Commnone.h"
#include "comm/Commpardl.h"
#include "comm/Commparul.h"
#include "comm/Commswdl.h"
#include "comm/Commswdl5170.h"
#include "core/Operations.h"

std::unique_ptr<CmBase> CreateChannel(TModel& model, const CmConfig& config,
                                      PortSettings* settings) {
  if (config.Connection == 1 && settings) {
    switch (config.Operation) {
      case OpSwDlK7310: return std::make_unique<CmSwDl7310>(model, settings);
      case OpSwDlTrx5170: return std::make_unique<CmSwDl5170>(model, settings);
      case OpParDl: return std::make_unique<CmParDl>(model, settings);
      case OpParUlTest: case OpParUlDownload: return std::make_unique<CmParUl>(model, settings);
      default:
        break;
    }
  }
  return std::make_unique<CmNone>(model);
}
