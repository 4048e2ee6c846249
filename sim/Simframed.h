// A device that talks in command frames: it assembles the host's frames,
// drops those with a wrong check byte or another address, counts what it
// saw per command, and answers with frames that the corrupt fault may damage.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim/Simdevice.h"
#include "sim/Simframe.h"

class SimFramedDevice : public SimDevice {
 public:
  using SimDevice::SimDevice;

  // Good frames per command code.
  std::map<int, int> Commands() const;
  int BadFrames() const;  // wrong check byte or another address
  int AbandonedFrames() const;  // stopped coming half-way

 protected:
  void Serve() override;
  // A good frame addressed to the device.
  virtual void HandleFrame(const SimFrame& frame) = 0;
  // Called whenever the line has been quiet for a moment.
  virtual void Idle() {}
  // The common counts, for the kind's summary (Lock held).
  void FrameSummary(SimJson& json) const;
  // An answer frame with address 0xD0.
  void AnswerFrame(uint8_t command, const std::vector<uint8_t>& data, const std::string& what);

 private:
  SimFrameReader Reader;
  // Under Lock.
  std::map<int, int> CommandCounts;
  int BadFrameCount = 0;
  int AbandonedCount = 0;
};

// Reads a little-endian number of count bytes at data[at].
uint32_t SimLittleEndian(const std::vector<uint8_t>& data, size_t at, size_t count);
// Appends a little-endian number of count bytes.
void SimAppendLittleEndian(std::vector<uint8_t>& data, uint32_t value, size_t count);
// "0x%02x", the key of a command in the summary.
std::string SimHexKey(int code);
