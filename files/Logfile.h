// "LOG.TXT": opened exclusively at start, appended to by the host and by the
// channels, closed at exit. A second running instance gets no log and runs on.
#pragma once

#include <string>

class TLogFile {
 public:
  TLogFile() = default;
  ~TLogFile();
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  // Opens (or creates) the file for appending with exclusive access; false
  // when another process holds it or it cannot be created.
  bool Open(const std::string& path = "LOG.TXT");
  bool IsOpen() const { return Fd >= 0; }
  // Exactly the bytes given, in one write call; silently nothing without a file.
  void Write(const std::string& text);
  // CR LF, the 80-character banner line, CR LF, then date ": " time CR LF.
  void WriteStartBanner();
  void WriteStopBanner();
  void Close();

  // "* START " + 72 '*' and "* STOPPED " + 70 '*', for tests and callers.
  static std::string StartBannerLine();
  static std::string StopBannerLine();

 private:
  int Fd = -1;
};
