// The serial port over the Win32 communications functions: CreateFileA with
// no sharing (the system itself opens a COM port exclusively), the line set
// from the settings text with BuildCommDCBA and SetCommState, and reads and
// writes whose waits SetCommTimeouts bounds. When the bytes have left the
// line and the time-out rules are kept by TSerialPort, as for every backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "comm/Serialport.h"

class TWin32Port : public TSerialPort {
 public:
  explicit TWin32Port(TClock& clock = SystemClock()) : TSerialPort(clock) {}
  ~TWin32Port() override;

  // Opens a COM port: "\\.\COMn", or a bare "COMn", which is given the
  // "\\.\" prefix that numbers above 9 need. OpenFailure says why it failed,
  // from the system's error code.
  bool Open(const std::string& devicePath) override;
  bool IsOpen() const override { return Port != nullptr; }
  int Handle() const override;
  void Close() override;

  // GetCommState, BuildCommDCBA with the settings text, SetCommState, and
  // the rate read back: a driver that holds a rate more than 2 % off the one
  // asked for makes the settings invalid (the previous ones are put back).
  PortSettingsResult Configure(const std::string& settingsText, char eventChar) override;

  bool Read(uint8_t* buffer, size_t count, size_t& got) override;
  bool Write(const uint8_t* data, size_t count, size_t& written) override;
  bool Flush() override;
  bool DiscardInput() override;
  bool HungUp() override;

  // The path CreateFileA is given for a device path or COM name.
  static std::string NativePath(const std::string& devicePath);

 private:
  void Fail(PortOpenFault fault, unsigned long error);
  // Sets the handle's read and write time-outs, in milliseconds; a read
  // total of 0 returns at once with what has arrived.
  bool ApplyTimeouts(uint32_t readTotalMs, uint32_t writeTotalMs);

  void* Port = nullptr;  // the HANDLE; nullptr when closed
};
