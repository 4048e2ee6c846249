#include "tests/k7310/Scripteddevice.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <poll.h>
#include <unistd.h>

namespace {
constexpr uint8_t Ack = 0x79;
constexpr uint8_t Nack = 0x1F;
constexpr uint8_t Escape = 0x1B;
constexpr uint8_t EscapeReply = 0x1A;
constexpr uint8_t FirstRouteByte = 0x11;  // display, load-cell communication, Ethernet
constexpr uint8_t LastRouteByte = 0x13;
constexpr int CommandTimeoutMs = 500;  // a command whose bytes stop coming is dropped
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

void TScriptedDevice::Start() { Thread = std::thread([this] { Run(); }); }

void TScriptedDevice::Stop() {
  Stopping = true;
  if (Thread.joinable()) Thread.join();
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

void TScriptedDevice::Record(bool fromHost, const uint8_t* bytes, size_t count) {
  if (count == 0) return;  // silence is no chunk: the bytes around it join
  std::lock_guard<std::mutex> lock(Lock);
  if (Chunks.empty() || Chunks.back().FromHost != fromHost) Chunks.push_back({fromHost, {}});
  Chunks.back().Bytes.insert(Chunks.back().Bytes.end(), bytes, bytes + count);
}

bool TScriptedDevice::ReadBytes(uint8_t* out, size_t count, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t got = 0;
  while (got < count && !Stopping) {
    if (timeoutMs >= 0 && Clock::now() >= deadline) return false;
    pollfd entry{Pty.Master(), POLLIN, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    ssize_t n = ::read(Pty.Master(), out + got, count - got);
    if (n > 0) {
      Record(true, out + got, static_cast<size_t>(n));
      got += static_cast<size_t>(n);
      deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return got == count;
}

bool TScriptedDevice::Reply(TReply kind, std::vector<uint8_t> normal) {
  std::vector<uint8_t> bytes = normal;
  {
    std::lock_guard<std::mutex> lock(Lock);
    const int occurrence = Counts[kind]++;
    auto found = Changes.find({kind, occurrence});
    if (found != Changes.end()) bytes = found->second(normal);
  }
  if (PaceBaud > 0 && kind == TReply::ReadData) {
    const auto byteTime = std::chrono::microseconds(11'000'000 / PaceBaud);
    for (uint8_t b : bytes) {
      std::this_thread::sleep_for(byteTime);
      Send({b});
    }
  } else {
    Send(bytes);
  }
  return bytes == normal;
}

void TScriptedDevice::Send(const std::vector<uint8_t>& bytes) {
  Pty.Write(bytes);
  Record(false, bytes.data(), bytes.size());
}

void TScriptedDevice::ErasePage(uint8_t page) {
  std::lock_guard<std::mutex> lock(Lock);
  for (uint32_t i = 0; i < 2048; ++i) Flash[(page * 2048u + i) % Flash.size()] = 0xFF;
}

void TScriptedDevice::Run() {
  uint8_t wake[4] = {};
  while (!Stopping) {
    uint8_t code = 0;
    if (!ReadBytes(&code, 1, -1)) continue;
    if (Asleep) {
      wake[0] = wake[1];
      wake[1] = wake[2];
      wake[2] = wake[3];
      wake[3] = code;
      if (wake[0] == 'B' && wake[1] == 'O' && wake[2] == 'O' && wake[3] == 'T') Asleep = false;
      if (code == 0x7F) Reply(TReply::Connect, {0x16});
      continue;
    }
    if (code == 0x7F) {
      // Only a connect the host was answered normally opens a session.
      if (Reply(TReply::Connect, {InSession ? Nack : Ack})) InSession = true;
      continue;
    }
    if (code == Escape) {
      Reply(TReply::Escape, {EscapeReply});
      continue;
    }
    if (!InSession && code >= FirstRouteByte && code <= LastRouteByte) {
      Reply(TReply::Route, {code});
      continue;
    }
    if (!InSession && code == 'B') {
      uint8_t rest[3] = {};
      if (ReadBytes(rest, 3, CommandTimeoutMs) && rest[0] == 'O' && rest[1] == 'O' && rest[2] == 'T') continue;
      Send({Nack});
      continue;
    }
    uint8_t complement = 0;
    if (!ReadBytes(&complement, 1, CommandTimeoutMs)) continue;
    if (complement != static_cast<uint8_t>(~code)) {
      Send({Nack});
      continue;
    }
    uint8_t frame[260];
    auto address = [&] {
      return (uint32_t{frame[0]} << 24 | uint32_t{frame[1]} << 16 | uint32_t{frame[2]} << 8 | frame[3]) -
             0x08000000u;
    };
    switch (code) {
      case 0x43:
        if (!Reply(TReply::EraseCommand, {Ack}) || !ReadBytes(frame, 3, CommandTimeoutMs)) break;
        ErasePage(frame[1]);
        Reply(TReply::ErasePage, {Ack});
        break;
      case 0x31: {
        if (!Reply(TReply::WriteCommand, {Ack}) || !ReadBytes(frame, 5, CommandTimeoutMs)) break;
        const uint32_t at = address();
        if (!Reply(TReply::WriteAddress, {Ack}) || !ReadBytes(frame, 1, CommandTimeoutMs)) break;
        const size_t n = frame[0] + 1u;
        if (!ReadBytes(frame + 1, n + 1, CommandTimeoutMs)) break;
        {
          std::lock_guard<std::mutex> lock(Lock);
          for (size_t i = 0; i < n; ++i) Flash[(at + i) % Flash.size()] = frame[1 + i];
        }
        Reply(TReply::WriteData, {Ack});
        break;
      }
      case 0x11: {
        if (!Reply(TReply::ReadCommand, {Ack}) || !ReadBytes(frame, 5, CommandTimeoutMs)) break;
        const uint32_t at = address();
        if (!Reply(TReply::ReadAddress, {Ack}) || !ReadBytes(frame, 2, CommandTimeoutMs)) break;
        const size_t n = frame[0] + 1u;
        if (!Reply(TReply::ReadLength, {Ack})) break;
        Reply(TReply::ReadData, Memory(at, n));
        break;
      }
      case 0x21:
        if (!Reply(TReply::GoCommand, {Ack}) || !ReadBytes(frame, 5, CommandTimeoutMs)) break;
        if (Reply(TReply::GoAddress, {Ack})) InSession = false;
        break;
      default:
        Send({Nack});
        break;
    }
  }
}
