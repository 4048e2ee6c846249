#include "sim/Simframed.h"

#include <cstdio>

#include "sim/Simjson.h"

uint32_t SimLittleEndian(const std::vector<uint8_t>& data, size_t at, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count && at + i < data.size(); ++i) value |= static_cast<uint32_t>(data[at + i]) << (8 * i);
  return value;
}

void SimAppendLittleEndian(std::vector<uint8_t>& data, uint32_t value, size_t count) {
  for (size_t i = 0; i < count; ++i) data.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::string SimHexKey(int code) {
  char key[8];
  std::snprintf(key, sizeof key, "0x%02x", code & 0xFF);
  return key;
}

void SimFramedDevice::Serve() {
  for (;;) {
    uint8_t byte;
    if (!ReadByte(byte, 20)) {
      // A frame that stops half-way is given up, so that the host's next
      // attempt starts on a clean line.
      int limit = Options.CommandTimeoutMs;
      if (Reader.InFrame() && limit > 0 && SilenceNow() >= std::chrono::milliseconds(limit)) {
        Reader.Reset();
        std::lock_guard<std::mutex> guard(Lock);
        ++AbandonedCount;
      }
      Idle();
      continue;
    }
    switch (Reader.Feed(byte)) {
      case SimFrameReader::Result::Pending:
        break;
      case SimFrameReader::Result::BadCheck: {
        std::lock_guard<std::mutex> guard(Lock);
        ++BadFrameCount;
        break;
      }
      case SimFrameReader::Result::Frame: {
        const SimFrame& frame = Reader.Frame();
        if (frame.Address != kSimFrameAddress) {
          std::lock_guard<std::mutex> guard(Lock);
          ++BadFrameCount;
          break;
        }
        {
          std::lock_guard<std::mutex> guard(Lock);
          ++CommandCounts[frame.Command];
        }
        CommandArrived("frame " + SimHexKey(frame.Command));
        HandleFrame(frame);
        break;
      }
    }
  }
}

void SimFramedDevice::AnswerFrame(uint8_t command, const std::vector<uint8_t>& data, const std::string& what) {
  std::vector<uint8_t> bytes = SimFrameBytes(command, data);
  if (Faults().Roll(SimFault::Corrupt, what, Traffic())) {
    bytes.back() ^= static_cast<uint8_t>(1 + Faults().Below(SimFault::Corrupt, 255));
  }
  Answer(bytes, what);
}

std::map<int, int> SimFramedDevice::Commands() const {
  std::lock_guard<std::mutex> guard(Lock);
  return CommandCounts;
}

int SimFramedDevice::BadFrames() const {
  std::lock_guard<std::mutex> guard(Lock);
  return BadFrameCount;
}

int SimFramedDevice::AbandonedFrames() const {
  std::lock_guard<std::mutex> guard(Lock);
  return AbandonedCount;
}

void SimFramedDevice::FrameSummary(SimJson& json) const {
  json.Key("commands").BeginObject();
  for (const auto& [code, count] : CommandCounts) json.Field(SimHexKey(code), count);
  json.EndObject();
  json.Field("bad_frames", BadFrameCount);
  json.Field("abandoned_frames", AbandonedCount);
}
