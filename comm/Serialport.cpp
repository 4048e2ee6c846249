#include "comm/Serialport.h"

#include <algorithm>

#include "comm/Wiretime.h"

bool TSerialPort::SetTimeouts(const PortTimeouts& timeouts) {
  if (!IsOpen()) return false;
  CurrentTimeouts = timeouts;
  return true;
}

void TSerialPort::WaitUntilSent() {
  if (IsOpen()) LineClock.SleepUntil(LineSentUntil);
}

TSerialPort::Time TSerialPort::LastLineActivity() const { return std::max(LineSentUntil, LastReceived); }

void TSerialPort::NoteOpened() {
  LineSentUntil = LastReceived = LineClock.Now();
  ReceivedCount.store(0, std::memory_order_relaxed);
}

void TSerialPort::NoteLine(int32_t baudRate, char parity) {
  LineBaud = baudRate;
  LineParity = parity;
}

void TSerialPort::NoteWritten(Time start, size_t count) {
  // The bytes taken leave the line after those written before them.
  LineSentUntil = std::max(LineSentUntil, start) + LineWireTime(count);
}

void TSerialPort::NoteReceived(size_t count) {
  LastReceived = LineClock.Now();
  ReceivedCount.fetch_add(count, std::memory_order_relaxed);
}

TClock::Duration TSerialPort::LineWireTime(size_t count) const {
  return std::chrono::duration_cast<TClock::Duration>(WireTime(count, LineBaud, LineParity));
}

// Read semantics (the write time-out fields are not used: Write and Flush
// give up after the wire time of their bytes plus WriteGraceMs):
// - ReadInterval MAXDWORD and both read totals 0: take what has arrived, at once.
// - otherwise: wait until count bytes have arrived or the total time-out
//   ReadTotalMultiplier * count + ReadTotalConstant ms, counted from the start
//   of the read or, if later, from when the bytes written last have left the
//   line, has passed. A total of 0 takes what is there at once as well;
//   the inter-byte interval is not used.
bool TSerialPort::ReadsAtOnce() const {
  return CurrentTimeouts.ReadInterval == PortTimeouts::MaxDword && CurrentTimeouts.ReadTotalMultiplier == 0 &&
         CurrentTimeouts.ReadTotalConstant == 0;
}

TSerialPort::Time TSerialPort::ReadDeadline(size_t count) {
  const Time now = LineClock.Now();
  if (ReadsAtOnce()) return now;
  const uint64_t totalMs =
      static_cast<uint64_t>(CurrentTimeouts.ReadTotalMultiplier) * count + CurrentTimeouts.ReadTotalConstant;
  // A total time-out waits for an answer: it counts from when the question
  // has left the line, not from when the driver took it.
  return std::max(now, LineSentUntil) + std::chrono::milliseconds(totalMs);
}

TSerialPort::Time TSerialPort::WriteDeadline(Time start, size_t count) const {
  return start + LineWireTime(count) + std::chrono::milliseconds(WriteGraceMs);
}

TSerialPort::Time TSerialPort::FlushDeadline() {
  return std::max(LineClock.Now(), LineSentUntil) + std::chrono::milliseconds(WriteGraceMs);
}
