#include "files/Fileio.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#ifdef _WIN32
namespace {
constexpr int Binary = O_BINARY | O_NOINHERIT;
}  // namespace

int OpenFileForRead(const std::string& path) { return ::_open(path.c_str(), O_RDONLY | Binary); }
int OpenFileForAppend(const std::string& path) {
  return ::_open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | Binary, _S_IREAD | _S_IWRITE);
}
int CreateNewFile(const std::string& path) {
  return ::_open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | Binary, _S_IREAD | _S_IWRITE);
}
long ReadFileBytes(int fd, void* buffer, unsigned long count) {
  return ::_read(fd, buffer, count > INT_MAX ? INT_MAX : static_cast<unsigned>(count));
}
long WriteFileBytes(int fd, const void* data, unsigned long count) {
  return ::_write(fd, data, count > INT_MAX ? INT_MAX : static_cast<unsigned>(count));
}
bool CloseFile(int fd) { return ::_close(fd) == 0; }
bool LockFileExclusive(int fd) {
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  OVERLAPPED whole{};
  return ::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole);
}
bool SyncFile(int fd) { return ::_commit(fd) == 0; }
void CopyFileMode(int, const std::string&) {}
bool ReplaceFileWith(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}
bool RemoveFile(const std::string& path) { return ::_unlink(path.c_str()) == 0; }
std::string ResolvedPath(const std::string& path) {
  char full[MAX_PATH];
  return ::_fullpath(full, path.c_str(), sizeof full) ? std::string(full) : path;
}
int CurrentProcessId() { return ::_getpid(); }
std::tm LocalTime(std::time_t when) {
  std::tm local{};
  ::localtime_s(&local, &when);
  return local;
}
#else
int OpenFileForRead(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }
int OpenFileForAppend(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
}
int CreateNewFile(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long ReadFileBytes(int fd, void* buffer, unsigned long count) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, count);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}
long WriteFileBytes(int fd, const void* data, unsigned long count) {
  for (;;) {
    const ssize_t n = ::write(fd, data, count);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}
bool CloseFile(int fd) { return ::close(fd) == 0; }
bool LockFileExclusive(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }
bool SyncFile(int fd) { return ::fsync(fd) == 0; }
void CopyFileMode(int fd, const std::string& from) {
  struct stat old {};
  if (::stat(from.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
}
bool ReplaceFileWith(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}
bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }
std::string ResolvedPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string result(resolved);
  std::free(resolved);
  return result;
}
int CurrentProcessId() { return static_cast<int>(::getpid()); }
std::tm LocalTime(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  return local;
}
#endif
