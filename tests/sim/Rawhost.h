// A minimal host for the simulator tests: opens the slave side of a
// simulator's pty in raw mode and reads with deadlines. Deliberately free of
// the channels' port and frame code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class RawHost {
 public:
  explicit RawHost(const std::string& path, int baud = 115200);
  ~RawHost();
  RawHost(const RawHost&) = delete;
  RawHost& operator=(const RawHost&) = delete;

  bool IsOpen() const { return Fd >= 0; }
  void SetBaud(int baud);
  void Write(const std::vector<uint8_t>& bytes);
  // Up to count bytes, waiting at most deadlineMs for all of them.
  std::vector<uint8_t> Read(size_t count, int deadlineMs = 5000);
  // Whatever arrives until the line has been quiet for quietMs.
  std::vector<uint8_t> ReadUntilQuiet(int quietMs);
  // Whether the line has hung up (the device closed its end).
  bool HungUp(int deadlineMs = 5000);

 private:
  int Fd = -1;
};

// Polls a condition until it holds or deadlineMs has passed.
bool WaitFor(const std::function<bool()>& condition, int deadlineMs = 10000);

// A command frame as the device expects it: 0x02, N + 3, 0xD0, command,
// data, XOR of all bytes before.
std::vector<uint8_t> HostFrame(uint8_t command, const std::vector<uint8_t>& data);

// Reads one answer frame (start byte hunted); empty on time-out. The
// returned bytes are the whole frame.
std::vector<uint8_t> ReadHostFrame(RawHost& host, int deadlineMs = 5000);
