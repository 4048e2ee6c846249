// The log is a plain byte stream; the program adds nothing to what callers
// write except the start and stop banners with their date lines.
#include "files/Logfile.h"

#include <ctime>

#include "files/Fileio.h"

namespace {

// The current date and time as "date: time" in the process locale's short
// date and long time formats.
std::string DateTimeLine() {
  const std::time_t now = std::time(nullptr);
  const std::tm local = LocalTime(now);
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
  const int fd = OpenFileForAppend(path);
  if (fd < 0) return false;
  // Exclusive between processes (and between two opens in one process): a
  // second instance gets no log and runs on without one.
  if (!LockFileExclusive(fd)) {
    CloseFile(fd);
    return false;
  }
  Fd = fd;
  return true;
}

void TLogFile::Write(const std::string& text) {
  if (Fd < 0 || text.empty()) return;
  // One write call; its result is ignored, a failing log never stops a run.
  [[maybe_unused]] const long written = WriteFileBytes(Fd, text.data(), text.size());
}

std::string TLogFile::StartBannerLine() { return "* START " + std::string(72, '*'); }

std::string TLogFile::StopBannerLine() { return "* STOPPED " + std::string(70, '*'); }

void TLogFile::WriteStartBanner() { Write("\r\n" + StartBannerLine() + "\r\n" + DateTimeLine()); }

void TLogFile::WriteStopBanner() { Write("\r\n" + StopBannerLine() + "\r\n" + DateTimeLine()); }

void TLogFile::Close() {
  if (Fd < 0) return;
  CloseFile(Fd);  // releases the lock
  Fd = -1;
}
