// Why a port did not open, and the line that tells the technician what to do
// about it. The first line of the error stays "Communication: Invalid Handle";
// this is the second.
#pragma once

#include <string>

enum class PortOpenFault {
  None,
  NoDevice,      // the device file does not exist (adapter unplugged, wrong number)
  NoPermission,  // the user may not open it
  HeldByOther,   // another program has it open or locked
  NotSerial,     // it opens, but is no terminal device
  Failed,        // any other refusal of the system
};

struct PortOpenFailure {
  PortOpenFault Fault = PortOpenFault::None;
  int HolderPid = 0;          // HeldByOther: the process that has the port, 0 when not known
  std::string HolderCommand;  // its command name
  int Error = 0;              // the system's error code of the call that failed (errno, GetLastError)
};

// The cause and what to do, for the port portName (COMn) at devicePath.
std::string PortOpenCause(const std::string& portName, const std::string& devicePath,
                          const PortOpenFailure& failure);
