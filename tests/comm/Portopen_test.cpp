// Why a port does not open: each cause found, and the line that tells the
// technician what to do. Another program that already has the port open, or
// holds its lock file, keeps this one out.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>

#include "comm/Portholder.h"
#include "comm/Portopenfault.h"
#include "comm/Termiosport.h"
#include "tests/support/Pty.h"

extern char** environ;

namespace {

// A `sleep` process, with the given path open on its standard input when
// one is given; ended by the destructor.
class SleepingProcess {
 public:
  explicit SleepingProcess(const std::string& openPath = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!openPath.empty()) posix_spawn_file_actions_addopen(&actions, 0, openPath.c_str(), O_RDWR | O_NOCTTY, 0);
    char name[] = "sleep";
    char seconds[] = "60";
    char* argv[] = {name, seconds, nullptr};
    if (posix_spawnp(&Pid, "sleep", &actions, nullptr, argv, environ) != 0) Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~SleepingProcess() { End(); }
  void End() {
    if (Pid <= 0) return;
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
    Pid = -1;
  }
  // Whether the process has the path open yet (the spawn opens it a moment
  // after the call returned).
  bool Holds(const std::string& path) const {
    PortHolder holder;
    for (int i = 0; i < 200; ++i) {
      if (FindPortHolder(path, false, holder) && holder.Pid == Pid) return true;
      usleep(10000);
    }
    return false;
  }
  pid_t Pid = -1;
};

TEST(PortOpen, MissingDeviceAndFilesThatAreNoSerialPortSayWhy) {
  QTemporaryDir dir;
  const std::string plainFile = dir.path().toStdString() + "/COM3.txt";
  std::ofstream(plainFile) << "no port";
  struct Case {
    std::string Path;
    PortOpenFault Fault;
    const char* Says;
  };
  const Case cases[] = {
      {"/dev/qmss-no-such-port", PortOpenFault::NoDevice, "`qmss ports` lists the ports that exist"},
      {"/dev/null", PortOpenFault::NotSerial, "is not a serial device"},
      {plainFile, PortOpenFault::NotSerial, "is not a serial device"},
      {dir.path().toStdString(), PortOpenFault::NotSerial, "is not a serial device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Path);
    TTermiosPort port;
    EXPECT_FALSE(port.Open(c.Path));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.OpenFailure().Fault, c.Fault);
    const std::string cause = PortOpenCause("COM3", c.Path, port.OpenFailure());
    EXPECT_NE(cause.find("COM3 (" + c.Path + ")"), std::string::npos) << cause;
    EXPECT_NE(cause.find(c.Says), std::string::npos) << cause;
  }
}

// The open runs in a child under an unprivileged user (root may open
// anything), whose exit code is the fault found.
TEST(PortOpen, NoPermissionTellsToJoinTheDialoutGroup) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
    } else if (chmod(pty.SlavePath().c_str(), 0) != 0) {
      _exit(98);
    }
    TTermiosPort port;
    _exit(port.Open(pty.SlavePath()) ? 97 : static_cast<int>(port.OpenFailure().Fault));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(PortOpenFault::NoPermission));

  PortOpenFailure failure;
  failure.Fault = PortOpenFault::NoPermission;
  const std::string cause = PortOpenCause("COM33", "/dev/ttyUSB0", failure);
  EXPECT_NE(cause.find("join the group dialout"), std::string::npos) << cause;
  EXPECT_NE(cause.find("log out and in"), std::string::npos) << cause;
}

// A terminal program that had the port open before: the open fails, and
// names the program's process id and command name.
TEST(PortOpen, APortAnotherProgramAlreadyHasOpenIsRefusedNamingIt) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  SleepingProcess other(pty.SlavePath());
  ASSERT_GT(other.Pid, 0);
  ASSERT_TRUE(other.Holds(pty.SlavePath()));

  TTermiosPort port;
  EXPECT_FALSE(port.Open(pty.SlavePath()));
  EXPECT_EQ(port.OpenFailure().Fault, PortOpenFault::HeldByOther);
  EXPECT_EQ(port.OpenFailure().HolderPid, other.Pid);
  EXPECT_EQ(port.OpenFailure().HolderCommand, "sleep");
  const std::string cause = PortOpenCause("COM5", pty.SlavePath(), port.OpenFailure());
  EXPECT_NE(cause.find("process " + std::to_string(other.Pid) + " (sleep)"), std::string::npos) << cause;
  EXPECT_NE(cause.find("Close that program"), std::string::npos) << cause;

  // Once the other program has let go, the port opens.
  other.End();
  EXPECT_TRUE(port.Open(pty.SlavePath()));
}

// The process that plays the device (it holds the master of the
// pseudo-terminal) is the other end of the line, not a rival for the port.
TEST(PortOpen, TheDeviceEndOfAPseudoTerminalDoesNotCountAsAHolder) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child has master and slave of this process (inherited) and opens
    // the port: this process is the device end.
    TTermiosPort port;
    _exit(port.Open(pty.SlavePath()) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// UUCP lock files: one of a live process keeps the port out; a stale one is
// removed; while open, the port holds a lock file of its own.
TEST(PortOpen, UucpLockFilesAreHonouredAndTaken) {
  TestPty pty;
  ASSERT_TRUE(pty.IsOpen());
  const std::string lock = PortLockFilePath(pty.SlavePath());
  if (lock.empty() || access("/run/lock", W_OK) != 0) GTEST_SKIP() << "no writable lock folder";
  EXPECT_EQ(lock, "/run/lock/LCK.." + pty.SlavePath().substr(5).replace(3, 1, "_"));

  SleepingProcess locker;
  ASSERT_GT(locker.Pid, 0);
  auto writeLock = [&](int pid) {
    std::ofstream file(lock, std::ios::trunc);
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", pid);
    file << text;
  };
  writeLock(locker.Pid);
  TTermiosPort port;
  EXPECT_FALSE(port.Open(pty.SlavePath()));
  EXPECT_EQ(port.OpenFailure().Fault, PortOpenFault::HeldByOther);
  EXPECT_EQ(port.OpenFailure().HolderPid, locker.Pid);

  locker.End();  // its lock file is stale now
  ASSERT_TRUE(port.Open(pty.SlavePath()));
  std::ifstream own(lock);
  int pid = 0;
  own >> pid;
  EXPECT_EQ(pid, getpid());
  port.Close();
  EXPECT_NE(access(lock.c_str(), F_OK), 0) << "the lock file must go with the port";
}

}  // namespace
