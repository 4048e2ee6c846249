// Pumping the host thread's events in tests until something has happened.
#pragma once

#include <functional>

// Processes events until pred() is true or timeoutMs passed; returns pred().
bool RunUntil(const std::function<bool()>& pred, int timeoutMs = 10000);
// Processes events for about ms milliseconds.
void RunFor(int ms);
