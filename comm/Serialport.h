// The serial port the channels talk to, whatever the system underneath:
// exclusive open, line settings from a settings text, read time-outs counted
// from the start of each read (or a read that returns at once with what has
// arrived), write followed by a drain, discard of input. Calls answer false
// on failure; the channels turn that into their errors. Each system has a
// backend of its own (Termiosport for Linux); Portfactory picks it.
//
// The port keeps track of when the bytes it wrote have left the line: a
// write returns once the driver has taken them, but a USB adapter (like a
// pseudo-terminal) may still need their wire time to send them. Read
// time-outs count from then, and writes and drains give up when they have
// not completed within the wire time of their bytes plus WriteGraceMs. That
// bookkeeping is kept here, on the port's clock, for every backend.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "comm/Clock.h"
#include "comm/Portopenfault.h"

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

// What became of a settings text: applied, or the step that failed.
enum class PortSettingsResult {
  Applied,
  CouldNotGet,    // the port's present settings could not be read
  Invalid,        // the text does not parse, or the driver cannot hold the rate
  CouldNotApply,  // the driver refused the settings
};

class TSerialPort {
 public:
  using Time = TClock::Time;
  // What a write or a drain may take beyond the wire time of its bytes.
  static constexpr int WriteGraceMs = 2000;

  explicit TSerialPort(TClock& clock) : LineClock(clock) {}
  virtual ~TSerialPort() = default;
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;

  // Opens a device path for exclusive read and write: a second open of the
  // same port, by this or another program, fails. OpenFailure says why.
  virtual bool Open(const std::string& devicePath) = 0;
  const PortOpenFailure& OpenFailure() const { return LastOpenFailure; }
  virtual bool IsOpen() const = 0;
  // The system's handle of the open port (for the status record), -1 when none.
  virtual int Handle() const = 0;
  virtual void Close() = 0;

  // Sets the line from "baud=%ld parity=%c data=8 stop=1" (raw mode, 8 data
  // bits, 1 stop bit, no flow control) and the event character.
  virtual PortSettingsResult Configure(const std::string& settingsText, char eventChar) = 0;
  bool SetTimeouts(const PortTimeouts& timeouts);
  const PortTimeouts& Timeouts() const { return CurrentTimeouts; }

  // Reads up to count bytes under the current time-outs; got is what arrived
  // (possibly 0). A total time-out counts from when the bytes written last
  // have left the line, if that is later than the start of the read. False
  // only when the read call itself failed.
  virtual bool Read(uint8_t* buffer, size_t count, size_t& got) = 0;
  // Writes all bytes; false when the write failed or the driver has not
  // taken them all within their wire time plus WriteGraceMs.
  virtual bool Write(const uint8_t* data, size_t count, size_t& written) = 0;
  // Waits until the driver's output queue is empty; false when it fails or
  // is not empty by the time the bytes written should have left plus
  // WriteGraceMs.
  virtual bool Flush() = 0;
  // Discards input that has arrived and not been read.
  virtual bool DiscardInput() = 0;
  // Whether the open port has hung up: the device behind it is gone (a USB
  // adapter pulled out, the other end of a pseudo-terminal closed). Asks
  // without waiting and takes no input; false for a port that is not open.
  virtual bool HungUp() = 0;

  // When the bytes written so far will have left the line (at the applied
  // rate and parity), and waiting until then.
  Time SentUntil() const { return LineSentUntil; }
  void WaitUntilSent();
  // The last moment a byte was on the line in either direction: the later
  // of SentUntil and the last read that took bytes.
  Time LastLineActivity() const;
  // The clock this port counts its time-outs on; the channel's pauses use it too.
  TClock& Clock() const { return LineClock; }
  // Bytes read since the port was opened: zero tells a host that the device
  // has never answered at all. Any thread may ask.
  uint64_t BytesReceived() const { return ReceivedCount.load(std::memory_order_relaxed); }

 protected:
  // For the backends: the line was opened now; the line now runs at this
  // rate and parity; count bytes were taken by the driver, the first at start;
  // count bytes arrived now.
  void NoteOpened();
  void NoteLine(int32_t baudRate, char parity);
  void NoteWritten(Time start, size_t count);
  void NoteReceived(size_t count);

  // The time-out rules every backend shares.
  // Whether the time-outs say "take what has arrived, at once".
  bool ReadsAtOnce() const;
  // When a read of count bytes starting now gives up.
  Time ReadDeadline(size_t count);
  // When a write of count bytes starting at start gives up.
  Time WriteDeadline(Time start, size_t count) const;
  // When a drain starting now gives up.
  Time FlushDeadline();
  // The wire time of count bytes at the line's rate and parity.
  TClock::Duration LineWireTime(size_t count) const;

  PortOpenFailure LastOpenFailure{};
  PortTimeouts CurrentTimeouts{};

 private:
  TClock& LineClock;
  int32_t LineBaud = 0;
  char LineParity = 'N';
  Time LineSentUntil{};
  Time LastReceived{};
  std::atomic<uint64_t> ReceivedCount{0};
};
