#include "comm/Portholder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

constexpr const char* LockFolder = "/run/lock";

// Unix98 pseudo-terminal slaves (/dev/pts/N) have majors 136 to 143; their
// masters are all opened through /dev/ptmx (5, 2).
bool IsPtySlave(dev_t device) { return major(device) >= 136 && major(device) <= 143; }
int PtyIndex(dev_t device) { return static_cast<int>((major(device) - 136) * 256 + minor(device)); }
bool IsPtyMaster(dev_t device) { return major(device) == 5 && minor(device) == 2; }

bool IsNumber(const char* text) {
  if (*text == 0) return false;
  for (; *text; ++text)
    if (*text < '0' || *text > '9') return false;
  return true;
}

// The descriptor numbers a process has open; empty when they cannot be read.
std::vector<std::string> Descriptors(const std::string& pidText) {
  std::vector<std::string> fds;
  DIR* dir = opendir(("/proc/" + pidText + "/fd").c_str());
  if (!dir) return fds;
  while (dirent* entry = readdir(dir))
    if (IsNumber(entry->d_name)) fds.emplace_back(entry->d_name);
  closedir(dir);
  return fds;
}

// The pseudo-terminal index of a master descriptor ("tty-index:" in fdinfo).
int MasterIndex(const std::string& pidText, const std::string& fd) {
  std::ifstream info("/proc/" + pidText + "/fdinfo/" + fd);
  std::string line;
  while (std::getline(info, line)) {
    if (line.rfind("tty-index:", 0) == 0) return std::atoi(line.c_str() + 10);
  }
  return -1;
}

bool ProcessAlive(int pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

std::string ProcessCommand(int pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

bool FindPortHolder(const std::string& devicePath, bool skipDeviceEnd, PortHolder& holder) {
  struct stat device {};
  if (stat(devicePath.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return false;
  const bool ptySlave = IsPtySlave(device.st_rdev);
  const std::string self = std::to_string(getpid());
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  bool found = false;
  while (!found) {
    dirent* entry = readdir(proc);
    if (!entry) break;
    if (!IsNumber(entry->d_name) || self == entry->d_name) continue;
    const std::string pid = entry->d_name;
    bool holds = false;
    bool deviceEnd = false;
    for (const std::string& fd : Descriptors(pid)) {
      struct stat target {};
      if (stat(("/proc/" + pid + "/fd/" + fd).c_str(), &target) != 0 || !S_ISCHR(target.st_mode)) continue;
      if (target.st_rdev == device.st_rdev) holds = true;
      if (ptySlave && skipDeviceEnd && IsPtyMaster(target.st_rdev) &&
          MasterIndex(pid, fd) == PtyIndex(device.st_rdev))
        deviceEnd = true;
    }
    if (holds && !deviceEnd) {
      holder.Pid = std::atoi(pid.c_str());
      holder.Command = ProcessCommand(holder.Pid);
      found = true;
    }
  }
  closedir(proc);
  return found;
}

std::string PortLockFilePath(const std::string& devicePath) {
  struct stat folder {};
  if (stat(LockFolder, &folder) != 0 || !S_ISDIR(folder.st_mode)) return {};
  // Links such as /dev/serial/by-id/... lock the device they name.
  char resolved[PATH_MAX];
  std::string path = realpath(devicePath.c_str(), resolved) ? std::string(resolved) : devicePath;
  if (path.rfind("/dev/", 0) == 0)
    path.erase(0, 5);
  else if (size_t slash = path.rfind('/'); slash != std::string::npos)
    path.erase(0, slash + 1);
  for (char& c : path)
    if (c == '/') c = '_';
  return std::string(LockFolder) + "/LCK.." + path;
}

bool LockFileHolder(const std::string& lockPath, PortHolder& holder) {
  if (lockPath.empty()) return false;
  std::ifstream file(lockPath, std::ios::binary);
  if (!file) return false;
  std::stringstream text;
  text << file.rdbuf();
  // HDB format: the process id in ASCII, padded to ten characters.
  const int pid = std::atoi(text.str().c_str());
  if (pid == getpid()) return false;
  if (!ProcessAlive(pid)) {
    unlink(lockPath.c_str());  // stale: its owner has gone
    return false;
  }
  holder.Pid = pid;
  holder.Command = ProcessCommand(pid);
  return true;
}

bool CreateLockFile(const std::string& lockPath) {
  if (lockPath.empty()) return false;
  const int fd = ::open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
  const bool written = ::write(fd, text, static_cast<size_t>(length)) == length;
  ::close(fd);
  if (!written) unlink(lockPath.c_str());
  return written;
}
