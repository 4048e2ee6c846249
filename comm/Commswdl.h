// The K7310 firmware download channel. It loads one combined image into the
// device's main, display, load-cell communication and Ethernet processors
// through their boot loaders, one processor after the other: connect, erase
// and write every 256-byte block and read it back, read the whole part once
// more to verify it, start it with Go; after the Ethernet processor a final
// reboot restarts the main processor. One state per Step.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "comm/Commbase.h"
#include "comm/Portwait.h"
#include "comm/Runstatus.h"

class HexFile;
struct TAwaitedReply;

class CmSwDl7310 : public CmBase {
 public:
  // The states; the numbers are what GetState returns.
  static constexpr int8_t NoFile = 0;
  static constexpr int8_t Ready = 1;
  static constexpr int8_t Start = 2;
  static constexpr int8_t Error = 3;  // the port is absent: waiting for it
  static constexpr int8_t Connect = 4;
  static constexpr int8_t ConnectReply = 5;
  static constexpr int8_t EraseCommand = 6;
  static constexpr int8_t EraseCommandAck = 7;
  static constexpr int8_t ErasePage = 8;
  static constexpr int8_t ErasePageAck = 9;
  static constexpr int8_t WriteCommand = 10;
  static constexpr int8_t WriteCommandAck = 11;
  static constexpr int8_t WriteAddress = 12;
  static constexpr int8_t WriteAddressAck = 13;
  static constexpr int8_t WriteData = 14;
  static constexpr int8_t WriteDataAck = 15;
  static constexpr int8_t ReadCommand = 16;
  static constexpr int8_t ReadCommandAck = 17;
  static constexpr int8_t ReadAddress = 18;
  static constexpr int8_t ReadAddressAck = 19;
  static constexpr int8_t ReadLength = 20;
  static constexpr int8_t ReadLengthAck = 21;
  static constexpr int8_t ReadData = 22;
  static constexpr int8_t VerifyCommand = 23;
  static constexpr int8_t VerifyCommandAck = 24;
  static constexpr int8_t VerifyAddress = 25;
  static constexpr int8_t VerifyAddressAck = 26;
  static constexpr int8_t VerifyLength = 27;
  static constexpr int8_t VerifyLengthAck = 28;
  static constexpr int8_t VerifyData = 29;
  static constexpr int8_t GoCommand = 30;
  static constexpr int8_t GoCommandAck = 31;
  static constexpr int8_t GoAddress = 32;
  static constexpr int8_t GoAddressAck = 33;
  static constexpr int8_t NextProcessor = 34;
  static constexpr int8_t FinalEscape = 35;
  static constexpr int8_t FinalEscapeReply = 36;
  static constexpr int8_t FinalConnect = 37;
  static constexpr int8_t FinalConnectReply = 38;
  static constexpr int8_t FinalGoCommand = 39;
  static constexpr int8_t FinalGoCommandAck = 40;
  static constexpr int8_t FinalGoAddress = 41;
  static constexpr int8_t FinalGoAddressAck = 42;

  CmSwDl7310(TModel& model, PortSettings* settings);

  void Open(CmConfig* config) override;
  void Step() override;
  void UpdateStatus() override;
  void Command(int code) override;
  int GetState() override;

  // The run status of the current state (published by UpdateStatus).
  CmRunStatus RunStatus() const;

  // The read time-outs for a line rate. Every read may take 1000 ms in total
  // while a full 256-byte block needs at most two thirds of that on the wire
  // (4800 baud and up); slower lines give each read the wire time of the
  // bytes it asks for (11 bits a byte) on top of the 1000 ms, or a read-back
  // would never arrive in time. The port counts a read's time-out from when
  // the frame before it has left the line, so the wire time of what was
  // written is added as well.
  static PortTimeouts ReadTimeouts(int32_t baudRate);

  // The device drops a route to a processor behind the main processor after
  // 1.5 s without a byte on the line in either direction. A run that starts while the line may
  // still be routed waits for this much silence, so that its first 0x7F
  // reaches the main processor and not the processor of the stopped or
  // failed run; so does a route byte sent again after one whose echo was lost.
  static constexpr int RouteReleaseMs = 2000;

 private:
  // Opens the port and sets the line up; raises the port error.
  void OpenLine();
  // State 3: tries to open the port once a second, and at once after a start
  // request; once it opens, the channel is ready (or starts the run asked for).
  void WaitForPort();
  // No file or ready: a port that has hung up is closed and waited for.
  void WatchForHangup();
  // A port error of a run, with the cause on a second line when the port
  // has hung up (a cable pulled).
  std::string WithHangupCause(const std::string& error);

  // The state actions. Each returns the next state.
  int8_t Perform(int8_t state);
  int8_t StartRun();
  int8_t SendConnectByte();
  int8_t TakeConnectReply();
  int8_t ErasePageAcknowledged();
  int8_t SendWriteData();
  int8_t CompareReadBack();
  int8_t CompareVerifyBlock();
  int8_t GoAcknowledged();
  int8_t TakeFinalEscapeReply();
  int8_t TakeFinalConnectReply();
  int8_t FinalGoAcknowledged();

  // Reply handling: true for an acknowledge; any other byte, or none within
  // the time-out, writes the reply's log line and gives false.
  bool Acknowledged(const TAwaitedReply& reply);
  // Reads a data block of CurLength bytes; a wrong count logs the count line.
  bool ReadBlock(const char* countPrefix);
  // A failed reply: the sixth since the last reset point restarts the run,
  // otherwise the group's command is sent again after 100 ms.
  int8_t Retry(int8_t commandState);
  // Block position of the first byte that differs from the image, -1 if none.
  int32_t FirstDifference() const;

  // Frames.
  void ClearFrame();
  void Append(uint8_t b);
  void AppendChecksum();
  void SendFrame();
  void SendBytes(std::initializer_list<uint8_t> bytes);  // straight, no checksum
  void SendCommandFrame(uint8_t code);                   // code and its complement
  void SendAddress(uint32_t address);
  void SendWakeUp();  // B O O T, then a read of up to 256 bytes discarded, 1000 ms pause
  int ReadByte();     // one byte, -1 when nothing came

  // The byte the download sends for a position of the current part.
  uint8_t ImageByte(int32_t offset) const;
  int32_t PartLength() const;  // U(Processor)

  // Moves State on in the middle of a step, unless the host changed it.
  void Advance(int8_t next);
  // Waits until the line has been silent for RouteReleaseMs, counted from the
  // last byte sent (once it has left the line) or received.
  void WaitForRouteRelease();
  void Pause(int ms);
  void LogLine(const std::string& text);

  // Fields of the download.
  int8_t Processor = 0;  // 1..4 while loading; 5 once Ethernet is verified; 0 none
  bool HasPart[4] = {};
  int32_t RangeStart[4];
  int32_t RangeSize[4];
  int32_t PageSize[4];
  bool Routed = false;
  int32_t Offset = 0;
  int32_t CurLength = 0;
  uint8_t Checksum = 0;
  int32_t TxLength = 0;
  uint8_t TxBuffer[512] = {};
  // Written by the host's Command and by the steps; see Step for the rule.
  std::atomic<int8_t> State{NoFile};
  int32_t RetryCount = 0;

  // The used length of each part, taken once per run from its image.
  int32_t UsedLength[4] = {-1, -1, -1, -1};
  // The image the run started with, and the one this step took. A step whose
  // image is no longer the run's (a file was loaded meanwhile) gives the run up.
  std::shared_ptr<const HexFile> RunImage;
  std::shared_ptr<const HexFile> Image;
  // The state the step in progress began in (or advanced to).
  int8_t StepState = NoFile;
  bool RunCompleted = false;  // the step ended a run with the final reboot
  bool RunEnded = false;      // the step ended a run: final reboot, or Go of the last part
  CmRunHistory History;
  CmPortWait PortWait;
  // A route byte went out and no Go has taken the route back since.
  bool LineMayBeRouted = false;
  uint8_t RxBuffer[256] = {};
};
