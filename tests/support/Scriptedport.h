// A serial port in memory for protocol tests: what the host writes goes to a
// scripted device at once, and the device's answers wait in the port, each
// byte from the moment it has arrived. Time is a TFakeClock: a read that
// waits moves the clock on to the next byte or to its time-out, so byte
// traces, retries, time-outs and the channel's fixed pauses run without a
// pseudo-terminal and without real sleeps, in the order the line would have.
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
  TFakeClock& FakeTime;
  TScriptedLine& Device;
  bool Opened = false;
  std::deque<TTimedByte> Input;
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
