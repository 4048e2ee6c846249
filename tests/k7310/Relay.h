// A recording relay between the host's port and a device: the host opens the
// slave of its own test pty, the relay forwards every byte to the device's
// path and back, and keeps the bytes in the order they crossed, consecutive
// bytes of one direction taken together. A test may change what the device
// answers on the way to the host.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/k7310/Scripteddevice.h"
#include "tests/support/Pty.h"

class TRecordingRelay {
 public:
  // Sees every chunk the host sent, then may change each chunk the device
  // answers before it reaches the host.
  struct TFilter {
    std::function<void(const std::vector<uint8_t>& fromHost)> HostSent;
    std::function<void(std::vector<uint8_t>& fromDevice)> DeviceAnswer;
  };

  TRecordingRelay(TestPty& hostSide, const std::string& devicePath);
  ~TRecordingRelay();

  bool Start();  // false when the device path does not open
  void Stop();
  void SetFilter(TFilter filter) { Filter = std::move(filter); }  // before Start

  const std::string& HostPath() const { return HostSide.SlavePath(); }
  std::vector<TTraceChunk> Trace() const;

 private:
  void Run();
  void Record(bool fromHost, const std::vector<uint8_t>& bytes);

  TestPty& HostSide;
  std::string DevicePath;
  int DeviceFd = -1;
  TFilter Filter;
  std::thread Thread;
  std::atomic<bool> Stopping{false};
  mutable std::mutex Lock;
  std::vector<TTraceChunk> Chunks;
};
