#include "tests/k7310/Tracebuilder.h"

#include <algorithm>

namespace {

class TraceBuilder {
 public:
  void Host(std::vector<uint8_t> bytes) { Add(true, bytes); }
  void Device(std::vector<uint8_t> bytes) { Add(false, bytes); }
  std::vector<TTraceChunk> Chunks;

 private:
  void Add(bool fromHost, const std::vector<uint8_t>& bytes) {
    if (Chunks.empty() || Chunks.back().FromHost != fromHost) Chunks.push_back({fromHost, {}});
    Chunks.back().Bytes.insert(Chunks.back().Bytes.end(), bytes.begin(), bytes.end());
  }
};

std::vector<uint8_t> Address(uint32_t offset) {
  const uint32_t a = 0x08000000 + offset;
  const uint8_t b[4] = {uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
  return {b[0], b[1], b[2], b[3], uint8_t(b[0] ^ b[1] ^ b[2] ^ b[3])};
}

void ReadBlock(TraceBuilder& t, const std::vector<uint8_t>& part, uint32_t offset, uint32_t n) {
  t.Host({0x11, 0xEE});
  t.Device({0x79});
  t.Host(Address(offset));
  t.Device({0x79});
  t.Host({uint8_t(n - 1), uint8_t(~(n - 1))});
  t.Device({0x79});
  t.Device({part.begin() + offset, part.begin() + offset + n});
}

}  // namespace

void AppendTrace(std::vector<TTraceChunk>& trace, bool fromHost, const std::vector<uint8_t>& bytes) {
  if (trace.empty() || trace.back().FromHost != fromHost) trace.push_back({fromHost, {}});
  trace.back().Bytes.insert(trace.back().Bytes.end(), bytes.begin(), bytes.end());
}

std::vector<TTraceChunk> MainPartTrace(const std::vector<uint8_t>& part) {
  const uint32_t used = static_cast<uint32_t>(part.size());
  TraceBuilder t;
  t.Host({0x7F});
  t.Device({0x79});
  for (uint32_t offset = 0; offset < used; offset += 256) {
    const uint32_t n = std::min<uint32_t>(256, used - offset);
    if (offset % 2048 == 0) {
      const uint8_t page = uint8_t(offset / 2048);
      t.Host({0x43, 0xBC});
      t.Device({0x79});
      t.Host({0x00, page, page});
      t.Device({0x79});
    }
    t.Host({0x31, 0xCE});
    t.Device({0x79});
    t.Host(Address(offset));
    t.Device({0x79});
    std::vector<uint8_t> frame{uint8_t(n - 1)};
    frame.insert(frame.end(), part.begin() + offset, part.begin() + offset + n);
    uint8_t checksum = 0;
    for (uint8_t b : frame) checksum ^= b;
    frame.push_back(checksum);
    t.Host(frame);
    t.Device({0x79});
    ReadBlock(t, part, offset, n);
  }
  for (uint32_t offset = 0; offset < used; offset += 256)
    ReadBlock(t, part, offset, std::min<uint32_t>(256, used - offset));
  t.Host({0x21, 0xDE});
  t.Device({0x79});
  t.Host({0x08, 0x00, 0x00, 0x00, 0x08});
  t.Device({0x79});
  return t.Chunks;
}
