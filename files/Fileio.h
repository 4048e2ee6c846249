// The few file calls that differ between Linux and Windows, behind one face:
// descriptors in binary mode that child processes do not inherit, an
// exclusive lock, a durable replace, the local time.
#pragma once

#include <ctime>
#include <string>

// -1 with errno set on failure.
int OpenFileForRead(const std::string& path);
int OpenFileForAppend(const std::string& path);
int CreateNewFile(const std::string& path);  // fails when it exists
// Reads or writes as read(2)/write(2), retrying an interrupted call.
long ReadFileBytes(int fd, void* buffer, unsigned long count);
long WriteFileBytes(int fd, const void* data, unsigned long count);
bool CloseFile(int fd);  // false when buffered data could not be written
// Without waiting: false when another open (of this or any process) holds it.
// Released by CloseFile.
bool LockFileExclusive(int fd);
bool SyncFile(int fd);
// Gives the file the permission bits of another, where the system has them.
void CopyFileMode(int fd, const std::string& from);
// Moves from over to, replacing to in one step.
bool ReplaceFileWith(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// The path with links resolved, or the path as given when that fails.
std::string ResolvedPath(const std::string& path);
int CurrentProcessId();
std::tm LocalTime(std::time_t when);
