#include "comm/Portopenfault.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The system's own text for the error code of the call that failed: errno
// on Linux, GetLastError on Windows.
std::string SystemErrorText(int error) {
  if (error == 0) return "unknown reason";
#ifdef _WIN32
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  std::string message(text, length);
  // The system's texts end in a full stop and a line break; the caller adds its own.
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  if (message.empty()) return "system error " + std::to_string(error);
  return message + " (system error " + std::to_string(error) + ")";
#else
  return std::strerror(error);
#endif
}

}  // namespace

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
  return port + " could not be opened: " + SystemErrorText(failure.Error) + ".";
}
