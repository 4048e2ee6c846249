#include "tests/k7310/Scripteddevice.h"

#include <chrono>
#include <cstdio>
#include <ostream>

namespace {
constexpr uint8_t Ack = 0x79;
constexpr uint8_t Nack = 0x1F;
constexpr uint8_t Connect = 0x7F;
constexpr uint8_t Escape = 0x1B;
constexpr uint8_t EscapeReply = 0x1A;
constexpr uint8_t AsleepReply = 0x16;
constexpr uint8_t FirstRouteByte = 0x11;  // display, load-cell communication, Ethernet
constexpr uint8_t LastRouteByte = 0x13;
constexpr uint8_t EraseCode = 0x43;
constexpr uint8_t WriteCode = 0x31;
constexpr uint8_t ReadCode = 0x11;
constexpr uint8_t GoCode = 0x21;
constexpr uint32_t FlashBase = 0x08000000u;
constexpr size_t PageSize = 2048;
constexpr auto CommandTimeout = std::chrono::milliseconds(500);  // a command whose bytes stop coming is dropped
}  // namespace

void PrintTo(const TTraceChunk& chunk, std::ostream* out) {
  *out << (chunk.FromHost ? "host" : "device");
  char hex[4];
  for (uint8_t b : chunk.Bytes) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    *out << hex;
  }
}

void TScriptedDevice::Change(TReply kind, int occurrence, TChange change) {
  std::lock_guard<std::mutex> lock(Lock);
  Changes[{kind, occurrence}] = std::move(change);
}

void TScriptedDevice::Start() {
  std::lock_guard<std::mutex> lock(Lock);
  Running = true;
}

void TScriptedDevice::Stop() {
  std::lock_guard<std::mutex> lock(Lock);
  Running = false;
  Stage = TStage::Code;
}

void TScriptedDevice::Unplug() {
  std::lock_guard<std::mutex> lock(Lock);
  Plugged = false;
}

void TScriptedDevice::Plug() {
  std::lock_guard<std::mutex> lock(Lock);
  Plugged = true;
}

bool TScriptedDevice::Connected() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Plugged;
}

std::vector<TTraceChunk> TScriptedDevice::Trace() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Chunks;
}

std::vector<uint8_t> TScriptedDevice::Memory(uint32_t offset, size_t length) const {
  std::lock_guard<std::mutex> lock(Lock);
  return {Flash.begin() + offset, Flash.begin() + offset + static_cast<long>(length)};
}

int TScriptedDevice::Count(TReply kind) const {
  std::lock_guard<std::mutex> lock(Lock);
  auto found = Counts.find(kind);
  return found == Counts.end() ? 0 : found->second;
}

// Called with Lock held.
void TScriptedDevice::Record(bool fromHost, const uint8_t* bytes, size_t count) {
  if (count == 0) return;  // silence is no chunk: the bytes around it join
  if (Chunks.empty() || Chunks.back().FromHost != fromHost) Chunks.push_back({fromHost, {}});
  Chunks.back().Bytes.insert(Chunks.back().Bytes.end(), bytes, bytes + count);
}

std::vector<TTimedByte> TScriptedDevice::Receive(const uint8_t* bytes, size_t count, TClock::Time first,
                                                 TClock::Time last) {
  std::lock_guard<std::mutex> lock(Lock);
  Answer.clear();
  if (!Running) return Answer;
  for (size_t i = 0; i < count; ++i) {
    Now = count > 1 ? first + (last - first) * static_cast<int64_t>(i) / static_cast<int64_t>(count - 1) : last;
    Record(true, bytes + i, 1);
    Take(bytes[i]);
  }
  return std::move(Answer);
}

void TScriptedDevice::Take(uint8_t byte) {
  // A command whose next byte came too late was dropped; the byte starts anew.
  if (Stage != TStage::Code && Now - LastByte > CommandTimeout) Stage = TStage::Code;
  LastByte = Now;
  if (Asleep) {
    Wake[0] = Wake[1];
    Wake[1] = Wake[2];
    Wake[2] = Wake[3];
    Wake[3] = byte;
    if (Wake[0] == 'B' && Wake[1] == 'O' && Wake[2] == 'O' && Wake[3] == 'T') Asleep = false;
    if (byte == Connect) Reply(TReply::Connect, {AsleepReply});
    return;
  }
  if (Stage == TStage::Code) {
    TakeCode(byte);
    return;
  }
  if (Stage == TStage::Complement) {
    Stage = TStage::Code;
    if (byte != static_cast<uint8_t>(~Code)) {
      Send({Nack});
      return;
    }
    switch (Code) {
      case EraseCode:
        if (Reply(TReply::EraseCommand, {Ack})) Expect(TStage::EraseFrame, 3);
        break;
      case WriteCode:
        if (Reply(TReply::WriteCommand, {Ack})) Expect(TStage::WriteAddress, 5);
        break;
      case ReadCode:
        if (Reply(TReply::ReadCommand, {Ack})) Expect(TStage::ReadAddress, 5);
        break;
      case GoCode:
        if (Reply(TReply::GoCommand, {Ack})) Expect(TStage::GoAddress, 5);
        break;
      default:
        Send({Nack});
        break;
    }
    return;
  }
  Frame.push_back(byte);
  if (Frame.size() == Needed) FrameDone();
}

void TScriptedDevice::TakeCode(uint8_t code) {
  if (code == Connect) {
    // Only a connect the host was answered normally opens a session.
    if (Reply(TReply::Connect, {InSession ? Nack : Ack})) InSession = true;
    return;
  }
  if (code == Escape) {
    Reply(TReply::Escape, {EscapeReply});
    return;
  }
  if (!InSession && code >= FirstRouteByte && code <= LastRouteByte) {
    Reply(TReply::Route, {code});
    return;
  }
  if (!InSession && code == 'B') {
    Expect(TStage::BootRest, 3);
    return;
  }
  Code = code;
  Stage = TStage::Complement;
}

void TScriptedDevice::Expect(TStage stage, size_t count) {
  Stage = stage;
  Frame.clear();
  Needed = count;
}

uint32_t TScriptedDevice::FrameAddress() const {
  return (uint32_t{Frame[0]} << 24 | uint32_t{Frame[1]} << 16 | uint32_t{Frame[2]} << 8 | Frame[3]) - FlashBase;
}

void TScriptedDevice::FrameDone() {
  const TStage stage = Stage;
  Stage = TStage::Code;
  switch (stage) {
    case TStage::BootRest:
      if (Frame[0] != 'O' || Frame[1] != 'O' || Frame[2] != 'T') Send({Nack});
      break;
    case TStage::EraseFrame:
      for (size_t i = 0; i < PageSize; ++i) Flash[(Frame[1] * PageSize + i) % Flash.size()] = 0xFF;
      Reply(TReply::ErasePage, {Ack});
      break;
    case TStage::WriteAddress:
      At = FrameAddress();
      if (Reply(TReply::WriteAddress, {Ack})) Expect(TStage::WriteLength, 1);
      break;
    case TStage::WriteLength:
      // The data bytes and the checksum follow the length byte.
      Expect(TStage::WriteData, Frame[0] + 1u + 1u);
      break;
    case TStage::WriteData:
      for (size_t i = 0; i + 1 < Frame.size(); ++i) Flash[(At + i) % Flash.size()] = Frame[i];
      Reply(TReply::WriteData, {Ack});
      break;
    case TStage::ReadAddress:
      At = FrameAddress();
      if (Reply(TReply::ReadAddress, {Ack})) Expect(TStage::ReadLength, 2);
      break;
    case TStage::ReadLength: {
      const size_t n = Frame[0] + 1u;
      if (!Reply(TReply::ReadLength, {Ack})) break;
      std::vector<uint8_t> data(n);
      for (size_t i = 0; i < n; ++i) data[i] = Flash[(At + i) % Flash.size()];
      Reply(TReply::ReadData, data);
      break;
    }
    case TStage::GoAddress:
      if (Reply(TReply::GoAddress, {Ack})) InSession = false;
      break;
    default:
      break;
  }
}

bool TScriptedDevice::Reply(TReply kind, std::vector<uint8_t> normal) {
  std::vector<uint8_t> bytes = normal;
  const int occurrence = Counts[kind]++;
  auto found = Changes.find({kind, occurrence});
  if (found != Changes.end()) bytes = found->second(normal);
  if (PaceBaud > 0 && kind == TReply::ReadData) {
    // Each byte leaves one 11-bit byte time after the one before it.
    const auto byteTime = std::chrono::microseconds(11'000'000 / PaceBaud);
    TClock::Time at = Now;
    for (uint8_t b : bytes) {
      at += byteTime;
      Answer.push_back({b, at});
    }
    Record(false, bytes.data(), bytes.size());
  } else {
    Send(bytes);
  }
  return bytes == normal;
}

void TScriptedDevice::Send(const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) Answer.push_back({b, Now});
  Record(false, bytes.data(), bytes.size());
}
