// Where the channels get their serial port: the system's own backend, or
// one a test has put in its place (a scripted port on a clock of its own).
#pragma once

#include <functional>
#include <memory>

#include "comm/Serialport.h"

using TPortFactory = std::function<std::unique_ptr<TSerialPort>()>;

// A new, closed port from the installed factory, or the system's backend.
std::unique_ptr<TSerialPort> MakeSerialPort();
// A new, closed port of the system's backend, whatever is installed.
std::unique_ptr<TSerialPort> MakeSystemPort();
// Installs factory for every port made from now on; an empty one puts the
// system's backend back.
void SetPortFactory(TPortFactory factory);
