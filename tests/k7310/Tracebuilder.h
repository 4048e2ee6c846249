// The expected byte trace of a download of one main-processor part with
// every reply an acknowledge: what the host sends and the device answers,
// in order, consecutive bytes of one direction taken together.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/k7310/Scripteddevice.h"

std::vector<TTraceChunk> MainPartTrace(const std::vector<uint8_t>& part);
// Appends bytes of one direction, joined to the last chunk when it has the same.
void AppendTrace(std::vector<TTraceChunk>& trace, bool fromHost, const std::vector<uint8_t>& bytes);
