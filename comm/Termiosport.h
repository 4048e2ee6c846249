// The serial port over termios (Linux): exclusive open with open/ioctl/flock
// and the UUCP lock file, line settings with tcgetattr/tcsetattr and the
// kernel's second settings record, reads and writes that wait with poll.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>

#include "comm/Serialport.h"

// The line settings of a port (the counterpart of a device control block).
struct PortDcb {
  termios Tio{};
  int32_t BaudRate = 0;
  char Parity = 'N';   // N, E, O, M, S
  char EventChar = 0;  // kept for the record; Linux has no event character
};

class TTermiosPort : public TSerialPort {
 public:
  explicit TTermiosPort(TClock& clock = SystemClock()) : TSerialPort(clock) {}
  ~TTermiosPort() override;

  // Opens a device path for exclusive read and write (O_NOCTTY, TIOCEXCL, an
  // advisory lock and the UUCP lock file): a second open of the same port,
  // by this or another program, fails, and so does an open of a port that
  // another program already has open or locked. OpenFailure says why.
  bool Open(const std::string& devicePath) override;
  bool IsOpen() const override { return Fd >= 0; }
  int Handle() const override { return Fd; }
  void Close() override;

  // GetSettings, BuildDcb, then SetSettings.
  PortSettingsResult Configure(const std::string& settingsText, char eventChar) override;

  bool GetSettings(PortDcb& dcb) const;
  // Parses "baud=%ld parity=%c data=8 stop=1" into dcb (raw mode, 8 data
  // bits, 1 stop bit, no flow control). Any positive rate of up to nine
  // digits: a rate without a termios speed constant is marked BOTHER and set
  // as it is when applied. False for a rate of 0 or a parity letter that is
  // not N, E, O, M or S; dcb is then unchanged.
  static bool BuildDcb(const std::string& settingsText, PortDcb& dcb);
  // Applies dcb and reads the rate back. A pseudo-terminal cannot hold the
  // parity bit; applying a parity to one succeeds (the rest of the settings
  // take effect). False when the driver refuses the settings, or holds a
  // rate more than 2 % off the one asked for (RateRefused then answers true
  // and the previous settings are back).
  bool SetSettings(const PortDcb& dcb);
  bool RateRefused() const { return LastRateRefused; }

  bool Read(uint8_t* buffer, size_t count, size_t& got) override;
  bool Write(const uint8_t* data, size_t count, size_t& written) override;
  bool Flush() override;
  bool DiscardInput() override;
  bool HungUp() override;

 private:
  // Takes the UUCP lock file and checks that no other program has the
  // device open; fills LastOpenFailure when it cannot.
  bool ClaimDevice(const std::string& devicePath);
  void Fail(PortOpenFault fault, int error);

  int Fd = -1;
  std::string LockFile;  // the lock file this port created, removed at Close
  bool LastRateRefused = false;
};
