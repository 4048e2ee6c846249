// The log is a plain byte stream; the program adds nothing to what callers
// write except the start and stop banners with their date lines.
#include "files/Logfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <ctime>

namespace {

// The current date and time as "date: time" in the process locale's short
// date and long time formats.
std::string DateTimeLine() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[128] = {};
  char time[128] = {};
  std::strftime(date, sizeof date, "%x", &local);
  std::strftime(time, sizeof time, "%X", &local);
  return std::string(date) + ": " + time + "\r\n";
}

}  // namespace

TLogFile::~TLogFile() { Close(); }

bool TLogFile::Open(const std::string& path) {
  Close();
  // O_APPEND: an existing log is continued at its end, whatever else was
  // written to it meanwhile.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  // Exclusive between processes (and between two opens in one process): a
  // second instance gets no log and runs on without one.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  Fd = fd;
  return true;
}

void TLogFile::Write(const std::string& text) {
  if (Fd < 0 || text.empty()) return;
  // One write call; its result is ignored, a failing log never stops a run.
  [[maybe_unused]] const ssize_t written = ::write(Fd, text.data(), text.size());
}

std::string TLogFile::StartBannerLine() { return "* START " + std::string(72, '*'); }

std::string TLogFile::StopBannerLine() { return "* STOPPED " + std::string(70, '*'); }

void TLogFile::WriteStartBanner() { Write("\r\n" + StartBannerLine() + "\r\n" + DateTimeLine()); }

void TLogFile::WriteStopBanner() { Write("\r\n" + StopBannerLine() + "\r\n" + DateTimeLine()); }

void TLogFile::Close() {
  if (Fd < 0) return;
  ::close(Fd);  // releases the lock
  Fd = -1;
}
