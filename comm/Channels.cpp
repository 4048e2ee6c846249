#include "comm/Channels.h"

#include "comm/Commnone.h"

std::unique_ptr<CmBase> CreateChannel(TModel& model, const CmConfig& config,
                                      PortSettings* settings) {
  if (config.Connection == 1 && settings) {
    switch (config.Operation) {
      // Device channels: 1 K7310, 2 TRX5170L, 3 parameter download,
      // 4 and 5 parameter upload.
      default:
        break;
    }
  }
  return std::make_unique<CmNone>(model);
}
