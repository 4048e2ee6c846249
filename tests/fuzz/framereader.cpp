// The frame reader of the framed channels, fed a byte stream through a fake
// serial port in reads of sizes the input chooses, some of them empty (a read
// that finds nothing arrived yet). It must stay inside the data destination,
// finish, and accept exactly the frames that a plain positional reading of
// the stream finds: a start byte, then length, address, command, the data and
// a check byte that makes the XOR of the frame 0; a frame with a wrong check
// byte is skipped as a whole. Optionally the input is emptied once, after the
// first frame; the reading then starts afresh where the port stood. Last, a
// frame written by SendFrame must read back as sent.
//
// Input: byte 0 holds the number of size bytes (low 4 bits) and the emptying
// flag (bit 4); the size bytes follow (each one read: 0 returns nothing, n
// returns up to n bytes, used in turn); the rest is the stream.
//
// The port is a fake serial port that hands out the stream and keeps what is
// written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "comm/Commframe.h"
#include "comm/Serialport.h"
#include "core/Eventloop.h"
#include "core/Replytimer.h"

namespace {

// What the fake port hands out and takes.
struct FakeLine {
  const uint8_t* Bytes = nullptr;
  size_t Size = 0;
  size_t Next = 0;
  const uint8_t* Sizes = nullptr;
  size_t SizeCount = 0;
  size_t Reads = 0;
  bool LastReadEmpty = false;
  std::vector<uint8_t> Written;

  void Reset(const uint8_t* bytes, size_t size, const uint8_t* sizes, size_t sizeCount) {
    *this = FakeLine{};
    Bytes = bytes;
    Size = size;
    Sizes = sizes;
    SizeCount = sizeCount;
  }
  bool Exhausted() const { return Next >= Size; }
};
FakeLine Line;

struct ParsedFrame {
  uint8_t Address;
  uint8_t Command;
  int Length;
  std::vector<uint8_t> Data;
  bool operator==(const ParsedFrame&) const = default;
};

// The frames of bytes, read by position. A frame still incomplete at the end
// is not one.
std::vector<ParsedFrame> ReferenceFrames(const uint8_t* s, size_t n) {
  std::vector<ParsedFrame> frames;
  size_t p = 0;
  while (p < n) {
    if (s[p] != Frame::Start) {
      ++p;
      continue;
    }
    if (p + 1 >= n) break;
    const int length = int{s[p + 1]} - 3;
    const size_t count = length > 0 ? static_cast<size_t>(length) : 0;
    const size_t check = p + 4 + count;  // index of the check byte
    if (check >= n) break;
    uint8_t x = 0;
    for (size_t i = p; i <= check; ++i) x ^= s[i];
    if (x == 0) frames.push_back({s[p + 2], s[p + 3], length, std::vector<uint8_t>(s + p + 4, s + p + 4 + count)});
    p = check + 1;
  }
  return frames;
}

// Reads frames until the stream is used up. emptyAfterFirst: EmptyInput once
// the first frame came; resumeAt is then where the port stood after it.
std::vector<ParsedFrame> ReadAll(TFrameLink& link, bool emptyAfterFirst, size_t& resumeAt, size_t& framesBefore) {
  std::vector<ParsedFrame> frames;
  // Every call takes a frame or ends at a read that returned nothing; at
  // most every other read is empty.
  const size_t callLimit = 3 * Line.Size + 16;
  auto data = std::make_unique<uint8_t[]>(Frame::MaxData);  // exactly what the reader may fill
  bool emptied = false;
  for (size_t calls = 0;; ++calls) {
    if (calls > callLimit) std::abort();  // the reader does not finish
    uint8_t address = 0, command = 0;
    int length = 0;
    if (link.ReadFrame(address, command, data.get(), length)) {
      if (length < -3 || length > Frame::MaxData) std::abort();
      const size_t count = length > 0 ? static_cast<size_t>(length) : 0;
      frames.push_back({address, command, length, std::vector<uint8_t>(data.get(), data.get() + count)});
      if (emptyAfterFirst && !emptied) {
        link.EmptyInput();
        emptied = true;
        resumeAt = Line.Next;
        framesBefore = frames.size();
      }
      continue;
    }
    if (Line.Exhausted()) break;
  }
  return frames;
}

void CheckRoundTrip(TFrameLink& link, const uint8_t* s, size_t n) {
  if (n < 3) return;
  const uint8_t address = s[0];
  const uint8_t command = s[1];
  const int count = int{s[2]} - 2;  // -2 to 253: both clamps are reached
  uint8_t payload[256] = {};
  std::memcpy(payload, s + 3, std::min<size_t>(n - 3, sizeof payload));
  Line.Reset(nullptr, 0, nullptr, 0);
  link.SendFrame(address, command, payload, count);
  const std::vector<uint8_t> written = Line.Written;
  const int sent = std::clamp(count, 0, Frame::MaxData);
  if (written.size() != static_cast<size_t>(sent) + Frame::Overhead) std::abort();

  link.EmptyInput();
  Line.Reset(written.data(), written.size(), nullptr, 0);
  size_t resumeAt = 0, framesBefore = 0;
  const std::vector<ParsedFrame> back = ReadAll(link, false, resumeAt, framesBefore);
  const ParsedFrame expected{address, command, sent, std::vector<uint8_t>(payload, payload + sent)};
  if (back.size() != 1 || !(back[0] == expected)) std::abort();
}

}  // namespace

class TFakePort : public TSerialPort {
 public:
  TFakePort() : TSerialPort(SystemClock()) {}
  bool Open(const std::string&) override { return true; }
  bool IsOpen() const override { return true; }
  int Handle() const override { return 0; }
  void Close() override {}
  PortSettingsResult Configure(const std::string&, char) override { return PortSettingsResult::Applied; }
  bool Read(uint8_t* buffer, size_t count, size_t& got) override;
  bool Write(const uint8_t* data, size_t count, size_t& written) override;
  bool Flush() override { return true; }
  bool DiscardInput() override { return true; }
};

bool TFakePort::Read(uint8_t* buffer, size_t count, size_t& got) {
  got = 0;
  if (Line.Exhausted()) return true;
  size_t want = Line.SizeCount ? Line.Sizes[Line.Reads++ % Line.SizeCount] : count;
  // An empty read now and then, never two in a row, so the stream moves on.
  if (want == 0 && !Line.LastReadEmpty) {
    Line.LastReadEmpty = true;
    return true;
  }
  Line.LastReadEmpty = false;
  want = std::max<size_t>(want, 1);
  got = std::min({want, count, Line.Size - Line.Next});
  std::memcpy(buffer, Line.Bytes + Line.Next, got);
  Line.Next += got;
  return true;
}

bool TFakePort::Write(const uint8_t* data, size_t count, size_t& written) {
  Line.Written.insert(Line.Written.end(), data, data + count);
  written = count;
  return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t sizeCount = std::min<size_t>(data[0] & 0x0F, size - 1);
  const bool emptyAfterFirst = (data[0] & 0x10) != 0;
  const uint8_t* stream = data + 1 + sizeCount;
  const size_t streamSize = size - 1 - sizeCount;

  static TEventLoop loop;
  static TReplyTimer timer(loop, [](uint64_t) {});
  TFakePort port;
  TFrameLink link(port, timer);
  Line.Reset(stream, streamSize, data + 1, sizeCount);
  size_t resumeAt = streamSize, framesBefore = 0;
  const std::vector<ParsedFrame> frames = ReadAll(link, emptyAfterFirst, resumeAt, framesBefore);

  std::vector<ParsedFrame> expected = ReferenceFrames(stream, streamSize);
  if (framesBefore > 0) {
    // Up to the emptying: the frames found so far; after it, the frames of
    // what the port still held.
    if (expected.size() < framesBefore ||
        !std::equal(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(framesBefore), expected.begin()))
      std::abort();
    expected.resize(framesBefore);
    const std::vector<ParsedFrame> rest = ReferenceFrames(stream + resumeAt, streamSize - resumeAt);
    expected.insert(expected.end(), rest.begin(), rest.end());
  }
  if (frames != expected) std::abort();

  CheckRoundTrip(link, stream, streamSize);
  return 0;
}
