// A thin serial port layer over termios that keeps the semantics the channels
// were designed for: exclusive open, line settings built from a settings text,
// read time-outs counted from the start of a read (or a read that returns at
// once with what has arrived), write followed by a drain, discard of input.
// Calls answer false on failure; the channels turn that into their errors.
//
// The port keeps track of when the bytes it wrote have left the line: a
// write returns once the driver has taken them, but a USB adapter (like a
// pseudo-terminal) may still need their wire time to send them. Read
// time-outs count from then, and writes and drains give up when they have
// not completed within the wire time of their bytes plus WriteGraceMs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>

#include "comm/Portopenfault.h"

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

  using Clock = std::chrono::steady_clock;
  // What a write or a drain may take beyond the wire time of its bytes.
  static constexpr int WriteGraceMs = 2000;

  // Opens a device path for exclusive read and write (O_NOCTTY, TIOCEXCL, an
  // advisory lock and the UUCP lock file): a second open of the same port,
  // by this or another program, fails, and so does an open of a port that
  // another program already has open or locked. OpenFailure says why.
  bool Open(const std::string& devicePath);
  const PortOpenFailure& OpenFailure() const { return LastOpenFailure; }
  bool IsOpen() const { return Fd >= 0; }
  int Handle() const { return Fd; }
  void Close();

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
  bool SetTimeouts(const PortTimeouts& timeouts);
  const PortTimeouts& Timeouts() const { return CurrentTimeouts; }

  // Reads up to count bytes under the current time-outs; got is what arrived
  // (possibly 0). A total time-out counts from when the bytes written last
  // have left the line, if that is later than the start of the read. False
  // only when the read call itself failed.
  bool Read(uint8_t* buffer, size_t count, size_t& got);
  // Writes all bytes; false when the write failed or the driver has not
  // taken them all within their wire time plus WriteGraceMs.
  bool Write(const uint8_t* data, size_t count, size_t& written);
  // Waits until the driver's output queue is empty; false when it fails or
  // is not empty by the time the bytes written should have left plus
  // WriteGraceMs.
  bool Flush();
  // Discards input that has arrived and not been read.
  bool DiscardInput();

  // When the bytes written so far will have left the line (at the applied
  // rate and parity), and waiting until then.
  Clock::time_point SentUntil() const { return LineSentUntil; }
  void WaitUntilSent() const;
  // The last moment a byte was on the line in either direction: the later
  // of SentUntil and the last read that took bytes.
  Clock::time_point LastLineActivity() const;
  // Bytes read since the port was opened: zero tells a host that the device
  // has never answered at all. Any thread may ask.
  uint64_t BytesReceived() const { return ReceivedCount.load(std::memory_order_relaxed); }

 private:
  // Takes the UUCP lock file and checks that no other program has the
  // device open; fills LastOpenFailure when it cannot.
  bool ClaimDevice(const std::string& devicePath);
  void Fail(PortOpenFault fault, int error);

  int Fd = -1;
  PortTimeouts CurrentTimeouts{};
  PortOpenFailure LastOpenFailure{};
  std::string LockFile;  // the lock file this port created, removed at Close
  bool LastRateRefused = false;
  int32_t LineBaud = 0;
  char LineParity = 'N';
  Clock::time_point LineSentUntil{};
  Clock::time_point LastReceived{};
  std::atomic<uint64_t> ReceivedCount{0};
};
