// A scripted K7310 device at the far end of a scripted port. Its main
// processor answers the boot-loader commands the download channel uses from a
// flat memory; outside a session it echoes a route byte (the processor behind
// it then answers from the same memory), answers ESC with 0x1A and takes
// B O O T without a reply. It records every byte in both directions in order
// and lets a test change chosen replies. It stands in for the device where a
// test needs one exact reply to fail. It answers at once, on the port's
// clock: a command whose bytes stop coming for CommandTimeoutMs is dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "tests/support/Scriptedport.h"

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

class TScriptedDevice : public TScriptedLine {
 public:
  using TChange = std::function<std::vector<uint8_t>(std::vector<uint8_t> normal)>;

  // The occurrence-th reply of this kind (counting from 0) is sent as change
  // makes it. A reply that is no longer the normal one ends the command: the
  // device then waits for the next command, as a boot loader does.
  void Change(TReply kind, int occurrence, TChange change);
  // A stopped device takes bytes without answering; Stop also ends a command.
  void Start();
  void Stop();
  // Pulls the cable: every call of the port fails from now on, and the
  // port hangs up. Plug puts it back (the device's memory stays).
  void Unplug();
  void Plug();

  // Settings, before Start.
  bool Asleep = false;  // answers 0x7F with 0x16 until it has received B O O T
  int PaceBaud = 0;     // data replies leave no faster than this rate (11-bit bytes); 0 at once

  std::vector<TTraceChunk> Trace() const;
  std::vector<uint8_t> Memory(uint32_t offset, size_t length) const;
  int Count(TReply kind) const;

  std::vector<TTimedByte> Receive(const uint8_t* bytes, size_t count, TClock::Time first,
                                  TClock::Time last) override;
  bool Connected() const override;

 private:
  // What the device waits for next.
  enum class TStage { Code, BootRest, Complement, EraseFrame, WriteAddress, WriteLength, WriteData,
                      ReadAddress, ReadLength, GoAddress };

  void Take(uint8_t byte);
  void TakeCode(uint8_t code);
  void FrameDone();
  // Waits for count more bytes of the command at stage.
  void Expect(TStage stage, size_t count);
  // Sends the reply (possibly changed); false when it was changed.
  bool Reply(TReply kind, std::vector<uint8_t> normal);
  void Send(const std::vector<uint8_t>& bytes);
  uint32_t FrameAddress() const;
  void Record(bool fromHost, const uint8_t* bytes, size_t count);

  mutable std::mutex Lock;  // the channel's thread answers, the test reads
  std::vector<TTraceChunk> Chunks;
  std::map<std::pair<TReply, int>, TChange> Changes;
  std::map<TReply, int> Counts;
  std::vector<uint8_t> Flash = std::vector<uint8_t>(0x80000, 0xFF);
  bool Running = false;
  bool Plugged = true;
  bool InSession = false;
  uint8_t Wake[4] = {};

  TStage Stage = TStage::Code;
  uint8_t Code = 0;
  std::vector<uint8_t> Frame;
  size_t Needed = 0;
  uint32_t At = 0;  // the address of the command under way
  TClock::Time Now{};  // when the byte taken now arrived
  TClock::Time LastByte{};
  std::vector<TTimedByte> Answer;
};
