// The serial port over the Win32 communications functions. The channels were
// written against exactly this interface (exclusive open, a settings text,
// read time-outs counted from the start of each read); what is left to do
// here is to count the time-outs as the termios backend does, from the port's
// clock and the wire time of what was written, and to keep every wait ended.
#include "comm/Win32port.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "comm/Linesettings.h"
#include "comm/Portmap.h"

namespace {

// A rate read back may differ this much from the one asked for: what UARTs
// and USB adapters make of a rate their clock cannot divide exactly.
constexpr double RateTolerance = 0.02;

// The longest single wait inside ReadFile or WriteFile; a longer time-out is
// waited in slices of this, so that a deadline on the port's clock decides.
constexpr uint32_t LongestWaitMs = 60000;

HANDLE AsHandle(void* port) { return static_cast<HANDLE>(port); }

PortOpenFault FaultOfError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
      return PortOpenFault::NoDevice;
    // The system opens a COM port for one handle only: a port that another
    // program (or another port of this one) has open answers "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return PortOpenFault::HeldByOther;
    default:
      return PortOpenFault::Failed;
  }
}

// Milliseconds from now until time, rounded up, at most LongestWaitMs; 0 when
// it has passed.
uint32_t MsUntil(TClock& clock, TClock::Time time) {
  const TClock::Time now = clock.Now();
  if (time <= now) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(time - now).count();
  return static_cast<uint32_t>(std::min<long long>(left, LongestWaitMs));
}

}  // namespace

TWin32Port::~TWin32Port() { Close(); }

std::string TWin32Port::NativePath(const std::string& devicePath) {
  if (ComNumber(devicePath) > 0) return "\\\\.\\" + devicePath;
  return devicePath;
}

int TWin32Port::Handle() const {
  // Kernel handles are 32-bit values even in a 64-bit process.
  return Port ? static_cast<int>(reinterpret_cast<intptr_t>(Port)) : -1;
}

void TWin32Port::Fail(PortOpenFault fault, unsigned long error) {
  LastOpenFailure = PortOpenFailure{};
  LastOpenFailure.Fault = fault;
  LastOpenFailure.Error = static_cast<int>(error);
}

bool TWin32Port::Open(const std::string& devicePath) {
  Close();
  LastOpenFailure = PortOpenFailure{};
  const std::string path = NativePath(devicePath);
  // No sharing: a second open of the port, by this or another program, fails.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    Fail(FaultOfError(error), error);
    return false;
  }
  // A file or a device that is no serial port opens, but has no line state.
  DCB probe{};
  probe.DCBlength = sizeof probe;
  if (!GetCommState(handle, &probe)) {
    Fail(PortOpenFault::NotSerial, GetLastError());
    CloseHandle(handle);
    return false;
  }
  Port = handle;
  // Until the first read sets its own, reads return at once: no call on
  // this port waits without an end.
  if (!ApplyTimeouts(0, 0)) {
    Fail(PortOpenFault::Failed, GetLastError());
    Close();
    return false;
  }
  NoteOpened();
  return true;
}

void TWin32Port::Close() {
  if (!Port) return;
  CloseHandle(AsHandle(Port));
  Port = nullptr;
}

bool TWin32Port::ApplyTimeouts(uint32_t readTotalMs, uint32_t writeTotalMs) {
  COMMTIMEOUTS timeouts{};
  if (readTotalMs == 0) {
    // MAXDWORD with both totals 0: return at once with what has arrived.
    timeouts.ReadIntervalTimeout = MAXDWORD;
  } else {
    // Wait until the count has arrived or the total has passed.
    timeouts.ReadTotalTimeoutConstant = readTotalMs;
  }
  // A write total of 0 would let a stalled line hold WriteFile forever;
  // callers always give one when they write.
  timeouts.WriteTotalTimeoutConstant = writeTotalMs;
  return SetCommTimeouts(AsHandle(Port), &timeouts) != 0;
}

PortSettingsResult TWin32Port::Configure(const std::string& settingsText, char eventChar) {
  if (!Port) return PortSettingsResult::CouldNotGet;
  DCB previous{};
  previous.DCBlength = sizeof previous;
  if (!GetCommState(AsHandle(Port), &previous)) return PortSettingsResult::CouldNotGet;

  LineSettings line;
  DCB dcb = previous;
  if (!ParseLineSettings(settingsText, line) || !BuildCommDCBA(settingsText.c_str(), &dcb))
    return PortSettingsResult::Invalid;
  // The rate as the text gives it: BuildCommDCBA reads a two-digit rate as
  // the old abbreviation ("96" as 9600).
  dcb.BaudRate = static_cast<DWORD>(line.BaudRate);
  // Raw bytes, no flow control of either kind, no parity checking or
  // replacing (the protocols carry their own checksums), DTR and RTS on.
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  dcb.EvtChar = eventChar;
  if (!SetCommState(AsHandle(Port), &dcb)) return PortSettingsResult::CouldNotApply;

  DCB held{};
  held.DCBlength = sizeof held;
  if (!GetCommState(AsHandle(Port), &held) ||
      std::fabs(static_cast<double>(held.BaudRate) - line.BaudRate) > RateTolerance * line.BaudRate) {
    SetCommState(AsHandle(Port), &previous);
    return PortSettingsResult::Invalid;
  }
  NoteLine(line.BaudRate, line.Parity);
  return PortSettingsResult::Applied;
}

// ReadFile waits under a total time-out until the count has arrived; the
// deadline is the port's (counted from when the bytes written last have left
// the line), and a ReadFile that returns a little early is followed by
// another for the rest of the time. A failed ReadFile (adapter unplugged)
// fails the read; bytes that arrived before it are handed out first.
bool TWin32Port::Read(uint8_t* buffer, size_t count, size_t& got) {
  got = 0;
  if (!Port) return false;
  if (count == 0) return true;

  const Time deadline = ReadDeadline(count);
  for (;;) {
    const uint32_t waitMs = MsUntil(Clock(), deadline);
    if (!ApplyTimeouts(waitMs, 0)) return false;
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(count - got, MAXDWORD));
    DWORD n = 0;
    if (!ReadFile(AsHandle(Port), buffer + got, wanted, &n, nullptr)) return got > 0;
    if (n > 0) {
      got += n;
      NoteReceived(n);
    }
    if (got == count || waitMs == 0 || Clock().Now() >= deadline) return true;
  }
}

bool TWin32Port::Write(const uint8_t* data, size_t count, size_t& written) {
  written = 0;
  if (!Port) return false;
  const Time start = Clock().Now();
  const Time deadline = WriteDeadline(start, count);
  bool complete = true;
  // WriteFile gives up at the write total; a stalled adapter takes nothing,
  // and the write ends at the deadline with what was taken.
  while (written < count) {
    const uint32_t waitMs = MsUntil(Clock(), deadline);
    if (waitMs == 0 || !ApplyTimeouts(0, waitMs)) {
      complete = false;
      break;
    }
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(count - written, MAXDWORD));
    DWORD n = 0;
    const BOOL done = WriteFile(AsHandle(Port), data + written, wanted, &n, nullptr);
    written += n;
    if (!done) {
      complete = false;
      break;
    }
  }
  NoteWritten(start, written);
  return complete;
}

// FlushFileBuffers cannot give up, so the output queue is watched first
// until it is empty or the bytes had their wire time and the grace time
// besides; the flush itself then only confirms.
bool TWin32Port::Flush() {
  if (!Port) return false;
  const Time deadline = FlushDeadline();
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(AsHandle(Port), &errors, &status)) return false;
    if (status.cbOutQue == 0) return FlushFileBuffers(AsHandle(Port)) != 0;
    const Time now = Clock().Now();
    if (now >= deadline) return false;
    // About as long as the queue needs, checked at least every 20 ms.
    TClock::Duration wait = LineWireTime(status.cbOutQue);
    wait = std::clamp<TClock::Duration>(wait, std::chrono::milliseconds(1), std::chrono::milliseconds(20));
    Clock().Sleep(std::min<TClock::Duration>(wait, deadline - now));
  }
}

bool TWin32Port::DiscardInput() {
  if (!Port) return false;
  return PurgeComm(AsHandle(Port), PURGE_RXCLEAR | PURGE_RXABORT) != 0;
}

bool TWin32Port::HungUp() {
  if (!IsOpen()) return false;
  // A USB adapter that has gone leaves a handle every comm call refuses;
  // ClearCommError asks without waiting and takes no input.
  DWORD errors = 0;
  COMSTAT status{};
  return !ClearCommError(AsHandle(Port), &errors, &status);
}
