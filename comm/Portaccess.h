// Whether the user may use the serial ports at all: on a fresh system a user
// is often not yet in the group that owns the serial devices, and every port
// then refuses to open. The desktop app says once what to do about it.
#pragma once

#include <functional>

// True when at least one serial device of the COM table (with its
// overrides) exists and the user may open none of them for reading and
// writing.
bool SerialPortsDeniedToUser();
// Tests answer the question themselves; an empty function restores the
// check of the devices.
void SetSerialAccessCheck(std::function<bool()> check);
