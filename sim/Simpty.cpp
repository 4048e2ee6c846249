#include "sim/Simpty.h"

#include "sim/Simrate.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long a write waits for room before the rest counts as lost.
constexpr int kStallMs = 1000;

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

SimPty::~SimPty() { Close(); }

bool SimPty::Open(std::string& error) {
  Close();
  Master = posix_openpt(O_RDWR | O_NOCTTY);
  if (Master < 0) {
    error = Errno("Could not open a pseudo-terminal (posix_openpt)");
    return false;
  }
  char name[128];
  if (grantpt(Master) != 0 || unlockpt(Master) != 0 || ptsname_r(Master, name, sizeof name) != 0) {
    error = Errno("Could not prepare the pseudo-terminal slave");
    Close();
    return false;
  }
  Path = name;
  Slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (Slave < 0) {
    error = Errno(("Could not open " + Path).c_str());
    Close();
    return false;
  }
  termios tio{};
  if (tcgetattr(Slave, &tio) != 0) {
    error = Errno("Could not read the pseudo-terminal settings");
    Close();
    return false;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&tio, B9600);
  cfsetospeed(&tio, B9600);
  if (tcsetattr(Slave, TCSANOW, &tio) != 0 || tcgetattr(Master, &Initial) != 0) {
    error = Errno("Could not set the pseudo-terminal to raw mode");
    Close();
    return false;
  }
  int flags = fcntl(Master, F_GETFL);
  fcntl(Master, F_SETFL, flags | O_NONBLOCK);
  RxDue = TxDue = Clock::now();
  return true;
}

void SimPty::Close() {
  if (Master >= 0) ::close(Master);
  if (Slave >= 0) ::close(Slave);
  Master = Slave = -1;
}

int SimPty::SpeedToBaud(speed_t speed) {
  switch (speed) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B134: return 134;
    case B150: return 150;
    case B200: return 200;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B1800: return 1800;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B500000: return 500000;
    case B576000: return 576000;
    case B921600: return 921600;
    case B1000000: return 1000000;
    default: return 0;
  }
}

SimLineSettings SimPty::LineSettings() const {
  SimLineSettings line;
  termios tio{};
  if (Master < 0 || tcgetattr(Master, &tio) != 0) return line;
  line.BaudRate = SimTerminalRate(Master);
  if (line.BaudRate <= 0) line.BaudRate = SpeedToBaud(cfgetospeed(&tio));
  if (tio.c_cflag & PARENB) line.Parity = (tio.c_cflag & PARODD) ? 'O' : 'E';
  char parity = AssumedParity ? AssumedParity : line.Parity;
  line.BitsPerByte = (parity == 'E' || parity == 'O') ? 11 : 10;
  if (tio.c_cflag & CSTOPB) line.BitsPerByte += 1;
  return line;
}

bool SimPty::SettingsChanged() const {
  termios tio{};
  if (Master < 0 || tcgetattr(Master, &tio) != 0) return false;
  return tio.c_iflag != Initial.c_iflag || tio.c_oflag != Initial.c_oflag ||
         tio.c_cflag != Initial.c_cflag || tio.c_lflag != Initial.c_lflag ||
         cfgetospeed(&tio) != cfgetospeed(&Initial) || cfgetispeed(&tio) != cfgetispeed(&Initial);
}

std::chrono::nanoseconds SimPty::ByteTime() const {
  SimLineSettings line = LineSettings();
  if (line.BaudRate <= 0) return std::chrono::nanoseconds(0);
  return std::chrono::nanoseconds(1'000'000'000LL * line.BitsPerByte / line.BaudRate);
}

int SimPty::Read(uint8_t* buffer, size_t max, int timeoutMs) {
  if (Master < 0) return -1;
  pollfd pfd{Master, POLLIN, 0};
  int ready = ::poll(&pfd, 1, timeoutMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  if (pfd.revents & (POLLERR | POLLNVAL)) return -1;
  ssize_t got = ::read(Master, buffer, max);
  if (got < 0) return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
  if (got == 0) return 0;
  if (Pacing) {
    // The bytes arrive one after the other at the host's rate, counted
    // from when the line was last free.
    auto now = Clock::now();
    RxDue = std::max(RxDue, now) + ByteTime() * got;
    std::this_thread::sleep_until(RxDue);
  }
  return static_cast<int>(got);
}

size_t SimPty::Write(const uint8_t* data, size_t count) {
  size_t done = 0;
  auto stalledSince = Clock::now();
  // The bytes start when the line is free: now, or when those of an earlier
  // write have left. Only here: within one write every byte is due one byte
  // time after the one before it, and a wake-up that comes late sends the
  // bytes due by then together. Restarting the count at every wake-up would
  // add each sleep's overshoot to the line time (about 60% at 115200 baud).
  if (TxDue < stalledSince) TxDue = stalledSince;
  while (done < count && Master >= 0) {
    size_t chunk = count - done;
    if (Pacing) {
      // A byte may leave when the one before it has; send what is due now
      // and sleep until the next byte is.
      auto byteTime = ByteTime();
      if (byteTime.count() > 0) {
        std::this_thread::sleep_until(TxDue + byteTime);
        auto due = (Clock::now() - TxDue) / byteTime;
        chunk = std::clamp<size_t>(static_cast<size_t>(due), 1, chunk);
      }
    }
    ssize_t put = ::write(Master, data + done, chunk);
    if (put > 0) {
      done += static_cast<size_t>(put);
      if (Pacing) TxDue += ByteTime() * put;
      stalledSince = Clock::now();
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) break;
    if (Clock::now() - stalledSince > std::chrono::milliseconds(kStallMs)) break;
    pollfd pfd{Master, POLLOUT, 0};
    ::poll(&pfd, 1, 20);
    // Nothing left while the line was full: the next byte starts afresh.
    if (TxDue < Clock::now()) TxDue = Clock::now();
  }
  return done;
}
