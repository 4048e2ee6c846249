#include "tests/support/Cable.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

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

void TCable::Carry() {
  const int host = Line->Master();
  uint8_t buffer[4096];
  while (!Stopping) {
    pollfd ends[2] = {{host, POLLIN, 0}, {DeviceFd, POLLIN, 0}};
    if (poll(ends, 2, 10) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if ((ends[i].revents & POLLIN) == 0) continue;
      const ssize_t n = ::read(ends[i].fd, buffer, sizeof buffer);
      if (n <= 0) continue;
      const int to = i == 0 ? DeviceFd : host;
      ssize_t done = 0;
      while (done < n && !Stopping) {
        const ssize_t w = ::write(to, buffer + done, static_cast<size_t>(n - done));
        if (w > 0) {
          done += w;
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
          break;
        } else {
          pollfd out{to, POLLOUT, 0};
          poll(&out, 1, 10);
        }
      }
    }
  }
}
