#include "tests/k7310/Relay.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

TRecordingRelay::TRecordingRelay(TestPty& hostSide, const std::string& devicePath)
    : HostSide(hostSide), DevicePath(devicePath) {}

TRecordingRelay::~TRecordingRelay() { Stop(); }

bool TRecordingRelay::Start() {
  DeviceFd = ::open(DevicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (DeviceFd < 0) return false;
  termios raw{};
  tcgetattr(DeviceFd, &raw);
  cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&raw, B115200);
  cfsetospeed(&raw, B115200);
  tcsetattr(DeviceFd, TCSANOW, &raw);
  Thread = std::thread([this] { Run(); });
  return true;
}

void TRecordingRelay::Stop() {
  Stopping = true;
  if (Thread.joinable()) Thread.join();
  if (DeviceFd >= 0) ::close(DeviceFd);
  DeviceFd = -1;
}

std::vector<TTraceChunk> TRecordingRelay::Trace() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Chunks;
}

void TRecordingRelay::Record(bool fromHost, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  std::lock_guard<std::mutex> lock(Lock);
  if (Chunks.empty() || Chunks.back().FromHost != fromHost) Chunks.push_back({fromHost, {}});
  Chunks.back().Bytes.insert(Chunks.back().Bytes.end(), bytes.begin(), bytes.end());
}

namespace {
void WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd entry{fd, POLLOUT, 0};
      poll(&entry, 1, 100);
    } else {
      return;
    }
  }
}
}  // namespace

void TRecordingRelay::Run() {
  uint8_t buffer[4096];
  while (!Stopping) {
    pollfd entries[2] = {{HostSide.Master(), POLLIN, 0}, {DeviceFd, POLLIN, 0}};
    if (poll(entries, 2, 20) <= 0) continue;
    if (entries[0].revents & POLLIN) {
      ssize_t n = ::read(HostSide.Master(), buffer, sizeof buffer);
      if (n > 0) {
        std::vector<uint8_t> bytes(buffer, buffer + n);
        // Recorded before it is forwarded, so that the answer comes after it.
        Record(true, bytes);
        if (Filter.HostSent) Filter.HostSent(bytes);
        WriteAll(DeviceFd, bytes);
      }
    }
    if (entries[1].revents & POLLIN) {
      ssize_t n = ::read(DeviceFd, buffer, sizeof buffer);
      if (n > 0) {
        std::vector<uint8_t> bytes(buffer, buffer + n);
        if (Filter.DeviceAnswer) Filter.DeviceAnswer(bytes);
        Record(false, bytes);
        WriteAll(HostSide.Master(), bytes);
      }
    } else if (entries[1].revents & (POLLHUP | POLLERR)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}
