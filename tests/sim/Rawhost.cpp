#include "Rawhost.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

speed_t SpeedCode(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    default: return B115200;
  }
}

}  // namespace

RawHost::RawHost(const std::string& path, int baud) {
  Fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (Fd >= 0) SetBaud(baud);
}

RawHost::~RawHost() {
  if (Fd >= 0) ::close(Fd);
}

void RawHost::SetBaud(int baud) {
  termios tio{};
  tcgetattr(Fd, &tio);
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&tio, SpeedCode(baud));
  cfsetospeed(&tio, SpeedCode(baud));
  tcsetattr(Fd, TCSANOW, &tio);
}

void RawHost::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::write(Fd, bytes.data() + done, bytes.size() - done);
    if (put > 0) {
      done += static_cast<size_t>(put);
    } else {
      pollfd pfd{Fd, POLLOUT, 0};
      if (::poll(&pfd, 1, 1000) <= 0 || (pfd.revents & (POLLERR | POLLHUP))) return;
    }
  }
}

std::vector<uint8_t> RawHost::Read(size_t count, int deadlineMs) {
  std::vector<uint8_t> out;
  auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
  while (out.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd pfd{Fd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
    uint8_t buffer[512];
    ssize_t got = ::read(Fd, buffer, std::min(sizeof buffer, count - out.size()));
    if (got <= 0) {
      if (pfd.revents & POLLHUP) break;
      continue;
    }
    out.insert(out.end(), buffer, buffer + got);
  }
  return out;
}

std::vector<uint8_t> RawHost::ReadUntilQuiet(int quietMs) {
  std::vector<uint8_t> out;
  for (;;) {
    std::vector<uint8_t> more = Read(4096, quietMs);
    if (more.empty()) return out;
    out.insert(out.end(), more.begin(), more.end());
  }
}

bool RawHost::HungUp(int deadlineMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
  while (Clock::now() < deadline) {
    pollfd pfd{Fd, POLLIN, 0};
    ::poll(&pfd, 1, 50);
    if (pfd.revents & POLLHUP) return true;
    uint8_t buffer[256];
    if ((pfd.revents & POLLIN) && ::read(Fd, buffer, sizeof buffer) < 0 && errno == EIO) return true;
  }
  return false;
}

bool WaitFor(const std::function<bool()>& condition, int deadlineMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
  while (!condition()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::vector<uint8_t> HostFrame(uint8_t command, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> frame;
  frame.push_back(0x02);
  frame.push_back(static_cast<uint8_t>(data.size() + 3));
  frame.push_back(0xD0);
  frame.push_back(command);
  for (uint8_t b : data) frame.push_back(b);
  uint8_t check = 0;
  for (uint8_t b : frame) check ^= b;
  frame.push_back(check);
  return frame;
}

std::vector<uint8_t> ReadHostFrame(RawHost& host, int deadlineMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
  auto left = [&] {
    return static_cast<int>(std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
  };
  std::vector<uint8_t> start;
  do {
    start = host.Read(1, left());
    if (start.empty()) return {};
  } while (start[0] != 0x02);
  std::vector<uint8_t> length = host.Read(1, left());
  if (length.empty()) return {};
  size_t rest = length[0] >= 3 ? length[0] : 3;
  std::vector<uint8_t> body = host.Read(rest, left());
  if (body.size() != rest) return {};
  std::vector<uint8_t> frame{0x02, length[0]};
  frame.insert(frame.end(), body.begin(), body.end());
  return frame;
}
