// A framed device at the far end of a scripted port: the TRX5170L boot loader
// and the parameter device in one, answering the requests of both framed
// channels on the port's fake clock. Frames are built and checked here, apart
// from the channels' own frame code. It records every frame that crossed the
// line with the host's rate and the times, and lets a test lose or delay
// chosen answers and keep the device busy after chosen blocks.
// (Frames are built with the tests' MakeFrame, Frames.h.)
//
// Requests and answers:
//   0x00 connect              -> 0x01, 3 bytes
//   0xE0 revision             -> 0xE1, 10 bytes of text
//   0xE2 rate (4 bytes, LSB first) -> 0xE3, 1 byte 0; the device listens at
//        that rate from the next frame on
//   0xE4 signature (41 bytes) -> 0xE5, 1 byte: 0 taken, 1 wrong signature,
//        2 closing while locked, 3 closing while busy (not taken); a closing
//        frame it takes (or gets while locked) sends it back to its first rate
//   0xEA status poll          -> 0xEB, 5 bytes: status, bytes written (LSB first)
//   0xE8 block (address LSB first, 1..64 bytes) -> 0xE9, 6 bytes: result (0
//        written, 1 locked, 2 outside the flash, 3 bad length, 4 busy),
//        status, the block's address (LSB first)
//   0xD2 parameter read (number, 2 bytes LSB first) -> 0xD3, 9 bytes: the
//        number and the 7-byte value field (text, zeros after it)
//   0xD0 parameter write (number, value field) -> 0xD1, 3 bytes: number, 0
// Status bits: 0x08 takes a block, 0x04 takes the closing frame, 0x01
// unlocked. The device listens at the rate the host set its line to first;
// a frame at any other rate is garbage to it and goes unanswered.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Scriptedport.h"

namespace Request {
inline constexpr uint8_t Connect = 0x00;
inline constexpr uint8_t Revision = 0xE0;
inline constexpr uint8_t SetRate = 0xE2;
inline constexpr uint8_t Signature = 0xE4;
inline constexpr uint8_t Block = 0xE8;
inline constexpr uint8_t Poll = 0xEA;
inline constexpr uint8_t ParameterWrite = 0xD0;
inline constexpr uint8_t ParameterRead = 0xD2;
}  // namespace Request

namespace DeviceStatus {
inline constexpr uint8_t Unlocked = 0x01;
inline constexpr uint8_t TakesClosing = 0x04;
inline constexpr uint8_t TakesBlock = 0x08;
inline constexpr uint8_t Ready = Unlocked | TakesClosing | TakesBlock;
}  // namespace DeviceStatus

// One write of the host, or one answer of the device as it arrived.
struct TLineRecord {
  bool FromHost = false;
  std::vector<uint8_t> Bytes;
  int32_t Baud = 0;         // the host's line rate then
  TClock::Time First{};     // when its first byte arrived at the other end
  TClock::Time Last{};      // and its last
};

class TScriptedFramedDevice : public TScriptedLine {
 public:
  // The answer to the occurrence-th request (from 0) with this command that
  // the device heard: lost on the line (the device acted on the request), or
  // sent that much later than at once.
  void LoseAnswer(uint8_t command, int occurrence);
  void DelayAnswer(uint8_t command, int occurrence, std::chrono::milliseconds delay);
  // After the occurrence-th block it writes the device is busy: that block's
  // answer and the next polls polls show it, and a block or closing frame
  // that comes meanwhile is refused.
  void BusyAfterBlock(int occurrence, int polls);
  void SetParameter(int number, const std::string& value);
  // Pulls the cable: every call of the port fails from now on.
  void Unplug();

  // Everything that crossed the line, in the order it arrived.
  std::vector<TLineRecord> Records() const;
  // The frames the host sent that the device heard, as (command, data).
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> HeardRequests() const;
  std::map<uint32_t, uint8_t> Flash() const;  // the cells blocks have written
  std::map<int, std::string> Parameters() const;
  std::vector<int32_t> RatesSet() const;  // every rate the host set its line to
  bool Unlocked() const;
  int Closings() const;

  std::vector<TTimedByte> Receive(const uint8_t* bytes, size_t count, TClock::Time first,
                                  TClock::Time last) override;
  bool Connected() const override;
  void LineSet(int32_t baudRate, char parity) override;

 private:
  struct TAnswerFate {
    bool Lost = false;
    std::chrono::milliseconds Delay{0};
  };

  // A whole frame with a good check byte has arrived at at.
  void Take(uint8_t command, const std::vector<uint8_t>& data, TClock::Time at);
  void Answer(uint8_t request, uint8_t command, const std::vector<uint8_t>& data, TClock::Time at);
  uint8_t Status() const;
  void Signature(const std::vector<uint8_t>& data, TClock::Time at);
  void Block(const std::vector<uint8_t>& data, TClock::Time at);
  TClock::Duration ByteTime() const;

  mutable std::mutex Lock;  // the channel's thread sends, the test reads
  bool Plugged = true;
  int32_t HostBaud = 0;
  char HostParity = 'N';
  int32_t FirstRate = 0;
  int32_t ListenRate = 0;
  std::vector<int32_t> Rates;
  std::vector<uint8_t> Pending;  // bytes of a frame not yet complete
  std::vector<TLineRecord> Log;
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> Heard;
  std::map<uint8_t, int> HeardCount;
  std::map<std::pair<uint8_t, int>, TAnswerFate> Fates;
  std::map<int, int> BusyAfter;  // block written -> busy polls
  int BlocksWritten = 0;
  int BusyPolls = 0;  // polls still to answer busy; busy while above 0
  bool IsUnlocked = false;
  int ClosingCount = 0;
  uint32_t BytesWritten = 0;
  std::map<uint32_t, uint8_t> Cells;
  std::map<int, std::string> Table;
  std::vector<TTimedByte> Answers;  // of the write in progress
};
