#include "tests/support/Cable.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <vector>

#include "tests/support/Pty.h"

TCable::TCable(std::string linkPath, std::string devicePath)
    : LinkPath(std::move(linkPath)), DevicePath(std::move(devicePath)) {}

TCable::~TCable() {
  Unplug();
  if (DeviceFd >= 0) ::close(DeviceFd);
}

bool TCable::Plug() {
  if (Line) return true;
  if (DeviceFd < 0) {
    DeviceFd = ::open(DevicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (DeviceFd < 0) return false;
    termios tio{};
    if (tcgetattr(DeviceFd, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(DeviceFd, TCSANOW, &tio);
    }
  }
  // What the device sent while the cable was out never arrives.
  tcflush(DeviceFd, TCIOFLUSH);
  auto line = std::make_unique<TestPty>();
  if (!line->IsOpen()) return false;
  ::unlink(LinkPath.c_str());
  if (::symlink(line->SlavePath().c_str(), LinkPath.c_str()) != 0) return false;
  Line = std::move(line);
  Stopping = false;
  Carrier = std::thread([this] { Carry(); });
  return true;
}

void TCable::Unplug() {
  if (!Line) return;
  Stopping = true;
  if (Carrier.joinable()) Carrier.join();
  ::unlink(LinkPath.c_str());
  // The host's end of the line hangs up.
  Line->CloseMaster();
  Line.reset();
}

namespace {

// Writes all bytes to a non-blocking descriptor; false when it failed.
bool WriteAll(int fd, const uint8_t* data, size_t count, const std::atomic<bool>& stopping) {
  size_t done = 0;
  while (done < count && !stopping) {
    const ssize_t w = ::write(fd, data + done, count - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
    } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    } else {
      pollfd out{fd, POLLOUT, 0};
      poll(&out, 1, 10);
    }
  }
  return true;
}

}  // namespace

void TCable::Carry() {
  using Clock = std::chrono::steady_clock;
  struct Held {
    Clock::time_point Due;
    std::vector<uint8_t> Bytes;
  };
  const int host = Line->Master();
  std::deque<Held> held;  // from the device, in order
  uint8_t buffer[4096];
  while (!Stopping) {
    while (!held.empty() && held.front().Due <= Clock::now()) {
      WriteAll(host, held.front().Bytes.data(), held.front().Bytes.size(), Stopping);
      held.pop_front();
    }
    pollfd ends[2] = {{host, POLLIN, 0}, {DeviceFd, POLLIN, 0}};
    if (poll(ends, 2, held.empty() ? 10 : 1) <= 0) continue;
    if (ends[0].revents & POLLIN) {
      const ssize_t n = ::read(host, buffer, sizeof buffer);
      // The device sees the line at the rate the host set before these bytes.
      termios line{};
      termios device{};
      if (n > 0 && tcgetattr(host, &line) == 0 && tcgetattr(DeviceFd, &device) == 0 &&
          cfgetospeed(&line) != cfgetospeed(&device)) {
        cfsetispeed(&device, cfgetospeed(&line));
        cfsetospeed(&device, cfgetospeed(&line));
        tcsetattr(DeviceFd, TCSANOW, &device);
      }
      if (n > 0) WriteAll(DeviceFd, buffer, static_cast<size_t>(n), Stopping);
    }
    if (ends[1].revents & POLLIN) {
      const ssize_t n = ::read(DeviceFd, buffer, sizeof buffer);
      if (n <= 0) continue;
      Held chunk{Clock::now(), std::vector<uint8_t>(buffer, buffer + n)};
      if (DeviceDelayMs) chunk.Due += std::chrono::milliseconds(DeviceDelayMs(chunk.Bytes));
      if (!held.empty()) chunk.Due = std::max(chunk.Due, held.back().Due);
      held.push_back(std::move(chunk));
    }
  }
}
