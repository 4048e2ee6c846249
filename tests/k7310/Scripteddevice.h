// A scripted K7310 device on the master side of a test pty. Its main
// processor answers the boot-loader commands the download channel uses from a
// flat memory; outside a session it echoes a route byte (the processor behind
// it then answers from the same memory), answers ESC with 0x1A and takes
// B O O T without a reply. It records every byte in both directions in order
// and lets a test change chosen replies. It stands in for the device where a
// test needs one exact reply to fail.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <iosfwd>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/Pty.h"

// The replies the device gives, by what they answer.
enum class TReply {
  Route,   // the echo of a route byte
  Escape,  // 0x1A for ESC
  Connect,
  EraseCommand,
  ErasePage,
  WriteCommand,
  WriteAddress,
  WriteData,
  ReadCommand,
  ReadAddress,
  ReadLength,
  ReadData,
  GoCommand,
  GoAddress,
};

struct TTraceChunk {
  bool FromHost;
  std::vector<uint8_t> Bytes;
  bool operator==(const TTraceChunk&) const = default;
};
// "host 7F" / "device 79" in test failures.
void PrintTo(const TTraceChunk& chunk, std::ostream* out);

class TScriptedDevice {
 public:
  using TChange = std::function<std::vector<uint8_t>(std::vector<uint8_t> normal)>;

  explicit TScriptedDevice(TestPty& pty) : Pty(pty) {}
  ~TScriptedDevice() { Stop(); }

  // The occurrence-th reply of this kind (counting from 0) is sent as change
  // makes it. A reply that is no longer the normal one ends the command: the
  // device then waits for the next command, as a boot loader does.
  void Change(TReply kind, int occurrence, TChange change);
  void Start();
  void Stop();

  // Settings, before Start.
  bool Asleep = false;  // answers 0x7F with 0x16 until it has received B O O T
  int PaceBaud = 0;     // data replies leave no faster than this rate (11-bit bytes); 0 at once

  std::vector<TTraceChunk> Trace() const;
  std::vector<uint8_t> Memory(uint32_t offset, size_t length) const;
  int Count(TReply kind) const;

 private:
  void Run();
  bool ReadBytes(uint8_t* out, size_t count, int timeoutMs);
  // Sends the reply (possibly changed); false when it was changed.
  bool Reply(TReply kind, std::vector<uint8_t> normal);
  void Send(const std::vector<uint8_t>& bytes);
  void ErasePage(uint8_t page);
  void Record(bool fromHost, const uint8_t* bytes, size_t count);

  TestPty& Pty;
  std::thread Thread;
  std::atomic<bool> Stopping{false};
  mutable std::mutex Lock;
  std::vector<TTraceChunk> Chunks;
  std::map<std::pair<TReply, int>, TChange> Changes;
  std::map<TReply, int> Counts;
  std::vector<uint8_t> Flash = std::vector<uint8_t>(0x80000, 0xFF);
  bool InSession = false;
};
