// Which channel serves which configuration.
#pragma once

#include <memory>

#include "comm/Commbase.h"

// The idle channel unless the connection is "Serial" and the operation has a
// device channel; settings are the operation's line settings (owned by the
// caller for the channel's whole life).
std::unique_ptr<CmBase> CreateChannel(TModel& model, const CmConfig& config,
                                      PortSettings* settings);
