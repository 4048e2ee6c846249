// Other programs that have a serial device: open file descriptors found
// through /proc/*/fd, and UUCP lock files (/run/lock/LCK..NAME), which
// terminal programs and modem managers take before they open a port.
// Processes whose descriptors this user may not read are not seen.
#pragma once

#include <string>

struct PortHolder {
  int Pid = 0;
  std::string Command;  // the process's command name, as /proc/PID/comm gives it
};

// Another process that has the device open. With skipDeviceEnd set, a
// process that also holds the master of a pseudo-terminal device is not
// counted: it plays the device at the other end of the line.
bool FindPortHolder(const std::string& devicePath, bool skipDeviceEnd, PortHolder& holder);

// The command name of a process; empty when it cannot be read.
std::string ProcessCommand(int pid);

// The UUCP lock file of a device: LCK.. and the device's name below /dev
// with '/' turned into '_'. Empty when the lock folder does not exist.
std::string PortLockFilePath(const std::string& devicePath);
// A live process other than this one that holds the lock file. A lock file
// of a process that no longer runs is stale and is removed.
bool LockFileHolder(const std::string& lockPath, PortHolder& holder);
// Creates the lock file for this process; false when it cannot (the folder is
// not writable, or another process took it first).
bool CreateLockFile(const std::string& lockPath);
