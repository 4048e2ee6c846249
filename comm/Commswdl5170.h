// The channel of operation 2, "Software Download - TRX5170L": programs the
// 128 KiB image (0xE0000..0xFFFFF) through the device's framed boot loader.
// A run connects at 1200 baud, switches both ends to the configured rate,
// unlocks the flash with a fixed signature, streams the image in blocks of at
// most 64 bytes paced by the status byte the device reports, sends the
// closing signature and returns to 1200 baud.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "comm/Commframed.h"
#include "comm/Runstatus.h"

class HexFile;

class CmSwDl5170 : public CmFramed {
 public:
  // One state per protocol step; sending states are even, the waiting state
  // of each request is the one after it.
  enum State : int8_t {
    NoImage = 0,
    Ready = 1,
    StartRequested = 2,
    PortError = 3,
    SendConnect = 4,
    WaitConnect = 5,
    SendRevision = 6,
    WaitRevision = 7,
    SendBaudRate = 8,
    WaitBaudRate = 9,
    SendSignature = 10,
    WaitSignature = 11,
    SendPoll = 12,
    WaitPoll = 13,
    SendBlock = 14,
    WaitBlock = 15,
  };

  static constexpr int32_t ImageStart = 0xE0000;
  static constexpr int32_t ImageEnd = 0x100000;  // first address after the image
  static constexpr int MaxBlock = 64;
  static constexpr int ReplyTimeoutMs = 500;

  CmSwDl5170(TModel& model, PortSettings* settings);
  ~CmSwDl5170() override;

  void UpdateStatus() override;
  void Command(int code) override;

  // The status and progress texts of the current state.
  std::string StatusText() const;
  std::string ProgressText() const;
  CmRunStatus RunStatus() const;

 private:
  void ApplyLineSettings() override;  // a run connects at 1200 baud
  int8_t OpenedState() override;
  int Request(int8_t sendState, uint8_t* data) override;
  bool BelongsToRequest(int8_t sendState) const override;
  int8_t Answered(int8_t sendState, int8_t next) override;
  void TimedOut(int8_t sendState) override;
  void StepOther(int8_t state) override;
  // The unlock signature before the data, the closing frame after it.
  int SignatureFrame(uint8_t* data) const;
  // Scans the image from CurrentAddress for the next block; false (and the
  // done flag set) when no data is left.
  bool FetchNextBlock();
  // After a poll or block answer: the next block, a poll, or the closing frame.
  int8_t AfterDeviceStatus();
  void ApplySlowRate();  // the port back to 1200 baud, parity as configured

  int32_t CurrentAddress = ImageStart;
  bool Done = false;
  int32_t BlockLength = 0;
  uint8_t BlockBuffer[4 + MaxBlock] = {};  // address (LSB first), then the data
  uint8_t DeviceStatus = 0;
  bool BlockPending = false;  // the block in BlockBuffer has not been programmed yet
  int32_t Attempts = 0;
  // The device takes the closing frame, locks and goes back to 1200 baud
  // before it answers; when that answer is lost, a closing frame sent again
  // at the configured rate is never answered. So a closing frame that timed
  // out goes out again at the other of the two rates, in turn.
  bool ClosingAtSlowRate = false;
  bool ClosingRateChange = false;  // set by the time-out, done by the next send

  std::shared_ptr<const HexFile> Image;  // the image of the run in progress
};
