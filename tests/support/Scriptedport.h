// A serial port in memory for protocol tests: what the host writes goes to a
// scripted device at once, and the device's answers wait in the port, each
// byte from the moment it has arrived. Time is a TFakeClock: a read that
// waits moves the clock on to the next byte or to its time-out, so byte
// traces, retries, time-outs and the channel's fixed pauses run without a
// pseudo-terminal and without real sleeps, in the order the line would have.
// A poll (a read that takes what has arrived, at once, as the framed channels
// read) that finds the line quiet right after another quiet poll, while an
// alarm of the clock is set (a reply timer of the host loop runs), stands for
// a worker that keeps polling until something happens: the clock moves on to
// the next byte or to the earliest alarm, whichever comes first, and the poll
// takes what has arrived by then. The first quiet poll after bytes or a write
// moves nothing (the channel may still act in the same step on what it has
// read, and stop its timer), and without an alarm nothing is awaited: the
// clock stays, and an answer that comes late is not taken before the request
// that follows a time-out has gone out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "comm/Serialport.h"
#include "tests/support/Fakeclock.h"

struct TTimedByte {
  uint8_t Byte;
  TClock::Time At;  // when it has arrived at the host
};

// The device end of a scripted port.
class TScriptedLine {
 public:
  virtual ~TScriptedLine() = default;
  // The host wrote bytes: the first reached the device at first, the last at
  // last, the others evenly between. The answer is what the device sends
  // back, each byte with its time.
  virtual std::vector<TTimedByte> Receive(const uint8_t* bytes, size_t count, TClock::Time first,
                                          TClock::Time last) = 0;
  // False once the device is unplugged: every call of the port then fails.
  virtual bool Connected() const { return true; }
  // The host set its end of the line to this rate and parity.
  virtual void LineSet(int32_t baudRate, char parity) {
    (void)baudRate;
    (void)parity;
  }
};

class TScriptedPort : public TSerialPort {
 public:
  // A pretend system handle for the status record.
  static constexpr int FakeHandle = 1000;

  TScriptedPort(TFakeClock& clock, TScriptedLine& device) : TSerialPort(clock), FakeTime(clock), Device(device) {}

  bool Open(const std::string& devicePath) override;
  bool IsOpen() const override { return Opened; }
  int Handle() const override { return Opened ? FakeHandle : -1; }
  void Close() override { Opened = false; }
  // Any text ParseLineSettings takes; the rate and parity then time the line.
  PortSettingsResult Configure(const std::string& settingsText, char eventChar) override;
  bool Read(uint8_t* buffer, size_t count, size_t& got) override;
  bool Write(const uint8_t* data, size_t count, size_t& written) override;
  bool Flush() override { return Opened && Device.Connected(); }
  bool DiscardInput() override;
  bool HungUp() override { return Opened && !Device.Connected(); }

 private:
  // A second quiet poll while a timer runs: time passes until something happens.
  void WaitWhileQuiet();

  TFakeClock& FakeTime;
  TScriptedLine& Device;
  bool Opened = false;
  std::deque<TTimedByte> Input;  // by arrival time
  bool QuietPoll = false;        // the last read was a poll that got nothing
};

// Installs a factory that gives every channel made from now on a scripted
// port to device on clock; puts the system's ports back when it goes.
class TScriptedPortFactory {
 public:
  TScriptedPortFactory(TFakeClock& clock, TScriptedLine& device);
  ~TScriptedPortFactory();
  TScriptedPortFactory(const TScriptedPortFactory&) = delete;
  TScriptedPortFactory& operator=(const TScriptedPortFactory&) = delete;
};
