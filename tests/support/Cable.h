// A serial cable that can be pulled out and plugged in again, between a
// fixed path the host opens and a device (a simulator's pseudo-terminal).
// The fixed path is a symbolic link, as /dev/serial/by-id/... is, to a
// pseudo-terminal of the cable's own whose bytes a thread carries to and from
// the device. Unplug removes the link and hangs the host's line up, as
// pulling a USB adapter does; Plug brings a new line back under the same
// path. The device keeps running behind the cable and keeps what it holds;
// bytes on their way when the cable is pulled are lost.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>
#include <string>
#include <thread>

class TestPty;

class TCable {
 public:
  // linkPath: the path the host is given (it must not exist yet);
  // devicePath: the device's end.
  TCable(std::string linkPath, std::string devicePath);
  ~TCable();
  TCable(const TCable&) = delete;
  TCable& operator=(const TCable&) = delete;

  // False when the device or a new line cannot be opened.
  bool Plug();
  void Unplug();
  bool Plugged() const { return Line != nullptr; }
  const std::string& Path() const { return LinkPath; }
  // Before Plug: how long each chunk the device sends is held back, in ms
  // (0: passed on at once). Chunks keep their order: one held back holds
  // back those after it.
  std::function<int(const std::vector<uint8_t>& fromDevice)> DeviceDelayMs;

 private:
  void Carry();

  std::string LinkPath;
  std::string DevicePath;
  int DeviceFd = -1;
  std::unique_ptr<TestPty> Line;
  std::thread Carrier;
  std::atomic<bool> Stopping{false};
};
