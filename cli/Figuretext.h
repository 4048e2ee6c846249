// Figures as a technician reads them in qmss's progress and closing lines.
#pragma once

#include <cstdint>
#include <string>

#include "cli/Runmeter.h"

// 4036 -> "4,036".
std::string GroupedNumber(int64_t value);
// A duration as "0:04", "12:30" or "1:02:03"; "--:--" for a negative one.
std::string ClockText(double seconds);
// "14.6 s".
std::string SecondsText(double seconds);

// The closing line of a run. A completed one: "verified 4,036 bytes in 4
// processors in 14.6 s (276 bytes/s)" (parts 0: a run without processors,
// which names only the units, with verb "downloaded" or "read back"); one
// that did not complete: "not finished: 1,234 of 4,036 bytes, 1 of 4 processors
// verified, in 10.2 s".
std::string SummaryLine(bool completed, const char* verb, const TRunFigures& figures, const char* unitWord,
                        int partsVerified, int parts);
