#include "comm/Portopenfault.h"

#include <cstring>

std::string PortOpenCause(const std::string& portName, const std::string& devicePath,
                          const PortOpenFailure& failure) {
  const std::string port = devicePath.empty() ? portName : portName + " (" + devicePath + ")";
  switch (failure.Fault) {
    case PortOpenFault::NoDevice:
      if (devicePath.empty())
        return portName + " names no serial port. `qmss ports` lists the ports that exist.";
      return port + " does not exist: check that the adapter is plugged in. `qmss ports` lists "
                    "the ports that exist.";
    case PortOpenFault::NoPermission:
      return "No permission to open " + port +
             ": join the group dialout (sudo usermod -aG dialout $USER), then log out and in again.";
    case PortOpenFault::HeldByOther:
      if (failure.HolderPid > 0)
        return port + " is in use by another program: process " + std::to_string(failure.HolderPid) +
               " (" + failure.HolderCommand + "). Close that program, then try again.";
      return port + " is in use by another program. Close that program, then try again.";
    case PortOpenFault::NotSerial:
      return port + " is not a serial device. Choose another port, or correct its entry in the "
                    "section [PORTS] of the INI file.";
    case PortOpenFault::Failed:
    case PortOpenFault::None:
      break;
  }
  return port + " could not be opened: " +
         (failure.Error != 0 ? std::string(std::strerror(failure.Error)) : std::string("unknown reason")) +
         ".";
}
