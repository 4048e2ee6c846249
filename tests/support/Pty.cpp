#include "tests/support/Pty.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

TestPty::TestPty() {
  termios raw{};
  cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  char name[256] = {};
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, name, &raw, nullptr) != 0) return;
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  // Non-blocking master: Read and Write wait with poll and their deadlines.
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  MasterFd = master;
  SlaveFd = slave;
  Path = name;
}

TestPty::~TestPty() {
  CloseMaster();
  CloseSlave();
}

bool TestPty::Write(const std::vector<uint8_t>& bytes, int timeoutMs) {
  if (MasterFd < 0) return false;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(MasterFd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    int left = MsLeft(deadline);
    if (left == 0) return false;
    pollfd entry{MasterFd, POLLOUT, 0};
    poll(&entry, 1, left);
  }
  return true;
}

bool TestPty::Write(const std::string& text, int timeoutMs) {
  return Write(std::vector<uint8_t>(text.begin(), text.end()), timeoutMs);
}

std::vector<uint8_t> TestPty::Read(size_t count, int timeoutMs) {
  std::vector<uint8_t> got;
  if (MasterFd < 0) return got;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  uint8_t chunk[4096];
  while (got.size() < count) {
    size_t want = count - got.size();
    ssize_t n = ::read(MasterFd, chunk, want < sizeof chunk ? want : sizeof chunk);
    if (n > 0) {
      got.insert(got.end(), chunk, chunk + n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;  // EIO: no slave open
    int left = MsLeft(deadline);
    if (left == 0) break;
    pollfd entry{MasterFd, POLLIN, 0};
    poll(&entry, 1, left);
  }
  return got;
}

std::vector<uint8_t> TestPty::ReadUntilQuiet(int quietMs, int timeoutMs) {
  std::vector<uint8_t> got;
  if (MasterFd < 0) return got;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  uint8_t chunk[4096];
  while (MsLeft(deadline) > 0) {
    pollfd entry{MasterFd, POLLIN, 0};
    int wait = quietMs < MsLeft(deadline) ? quietMs : MsLeft(deadline);
    if (poll(&entry, 1, wait) <= 0) break;
    ssize_t n = ::read(MasterFd, chunk, sizeof chunk);
    if (n > 0)
      got.insert(got.end(), chunk, chunk + n);
    else if (n == 0 || (errno != EAGAIN && errno != EINTR))
      break;
  }
  return got;
}

void TestPty::CloseMaster() {
  if (MasterFd >= 0) ::close(MasterFd);
  MasterFd = -1;
}

void TestPty::CloseSlave() {
  if (SlaveFd >= 0) ::close(SlaveFd);
  SlaveFd = -1;
}

bool TestPty::FillLine() {
  if (SlaveFd < 0) return false;
  const int flags = fcntl(SlaveFd, F_GETFL);
  fcntl(SlaveFd, F_SETFL, flags | O_NONBLOCK);
  // The kernel moves bytes on between its buffers a moment later, so the
  // line is full only once it has taken nothing for a while.
  const std::vector<uint8_t> chunk(4096, 0xAA);
  for (int idle = 0; idle < 20;) {
    bool took = false;
    for (size_t size : {4096, 256, 16, 1}) {
      while (::write(SlaveFd, chunk.data(), size) > 0) took = true;
    }
    idle = took ? 0 : idle + 1;
    poll(nullptr, 0, 10);
  }
  fcntl(SlaveFd, F_SETFL, flags);
  return true;
}
