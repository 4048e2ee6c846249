// Pumping the host thread's events in tests until something has happened.
#pragma once

#include <functional>

#include "core/Eventloop.h"

// The host loop of the tests' hosts (the main thread's). The widget tests'
// main window runs on Qt's loop instead; the helpers below serve both.
TEventLoop& TestHostLoop();

// Processes events until pred() is true or timeoutMs passed; returns pred().
bool RunUntil(const std::function<bool()>& pred, int timeoutMs = 10000);
// Processes events for about ms milliseconds.
void RunFor(int ms);
