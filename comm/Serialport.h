// A thin serial port layer over termios that keeps the semantics the channels
// were designed for: exclusive open, line settings built from a settings text,
// read time-outs counted from the start of a read (or a read that returns at
// once with what has arrived), write followed by a drain, discard of input.
// Calls answer false on failure; the channels turn that into their errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>

// The line settings of a port (the counterpart of a device control block).
struct PortDcb {
  termios Tio{};
  int32_t BaudRate = 0;
  char Parity = 'N';   // N, E, O, M, S
  char EventChar = 0;  // kept for the record; Linux has no event character
};

// Read and write time-outs in the usual five-field form.
// ReadInterval = MAXDWORD with both read totals 0: a read returns at once
// with whatever has arrived. Otherwise a read returns when the count has
// arrived or ReadTotalMultiplier * count + ReadTotalConstant ms after it began.
struct PortTimeouts {
  static constexpr uint32_t MaxDword = 0xFFFFFFFFu;
  uint32_t ReadInterval = 0;
  uint32_t ReadTotalMultiplier = 0;
  uint32_t ReadTotalConstant = 0;
  uint32_t WriteTotalMultiplier = 0;
  uint32_t WriteTotalConstant = 0;
};

class TSerialPort {
 public:
  TSerialPort() = default;
  ~TSerialPort();
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;

  // Opens a device path for exclusive read and write (O_NOCTTY, TIOCEXCL and
  // an advisory lock): a second open of the same port, by this or another
  // program, fails.
  bool Open(const std::string& devicePath);
  bool IsOpen() const { return Fd >= 0; }
  int Handle() const { return Fd; }
  void Close();

  bool GetSettings(PortDcb& dcb) const;
  // Parses "baud=%ld parity=%c data=8 stop=1" into dcb (raw mode, 8 data
  // bits, 1 stop bit, no flow control). False for an unsupported baud rate
  // or parity letter; dcb is then unchanged.
  static bool BuildDcb(const std::string& settingsText, PortDcb& dcb);
  // Applies dcb. A pseudo-terminal cannot hold the parity bit; applying a
  // parity to one succeeds (the rest of the settings take effect).
  bool SetSettings(const PortDcb& dcb);
  bool SetTimeouts(const PortTimeouts& timeouts);
  const PortTimeouts& Timeouts() const { return CurrentTimeouts; }

  // Reads up to count bytes under the current time-outs; got is what arrived
  // (possibly 0). False only when the read call itself failed.
  bool Read(uint8_t* buffer, size_t count, size_t& got);
  // Writes all bytes; false when the write failed.
  bool Write(const uint8_t* data, size_t count, size_t& written);
  // Waits until everything written has left (tcdrain).
  bool Flush();
  // Discards input that has arrived and not been read.
  bool DiscardInput();

 private:
  int Fd = -1;
  PortTimeouts CurrentTimeouts{};
};
