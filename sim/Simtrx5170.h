// The TRX5170L boot loader: command frames at 1200 baud until the host sets
// another rate, a flash unlock signature, data blocks paced by a status
// byte, and a closing signature that locks the flash and goes back to 1200.
//
// Requests and answers (answer data lengths are exact):
//   0x00 connect              -> 0x01, 3 bytes (device id)
//   0xE0 revision             -> 0xE1, 10 bytes of text
//   0xE2 rate (4 bytes, LSB first) -> 0xE3, 1 byte: 0 taken, 1 not supported;
//        frames at any other rate are garbage to the device from then on
//   0xE4 signature (41 bytes) -> 0xE5, 1 byte: 0 taken, 1 wrong signature,
//        2 closing while locked, 3 closing while busy
//   0xEA status poll          -> 0xEB, 5 bytes: status, bytes programmed (LSB first)
//   0xE8 block (4-byte address LSB first, 1..64 bytes) -> 0xE9, 6 bytes:
//        result (0 written, 1 locked, 2 outside the flash, 3 bad length,
//        4 busy), status, address (LSB first)
// Status bits: 0x08 takes a block, 0x04 takes the closing frame, 0x01
// unlocked. A taken unlock signature erases the whole flash (the host never
// sends blocks of 0xFF, so it relies on erased cells), and blocks program
// it as NOR flash. After each block the device is busy for a seeded number
// of polls, 0 to BusyPolls. Without a good frame for SessionTimeoutMs the
// device locks and returns to 1200 baud, as its watchdog would.
#pragma once

#include <random>

#include "sim/Simflash.h"
#include "sim/Simframed.h"

struct SimFrameRecord {
  int Command = 0;
  int BaudRate = 0;       // the host's rate when the frame arrived
  bool Accepted = true;   // false when it came at a rate the device did not expect
};

class SimTrx5170 : public SimFramedDevice {
 public:
  static constexpr uint32_t kFlashBase = 0xE0000;
  static constexpr size_t kFlashSize = 0x20000;
  static constexpr int kBootRate = 1200;

  explicit SimTrx5170(const SimOptions& options);
  // The device thread uses this object's members: it ends first.
  ~SimTrx5170() override { Stop(); }

  std::vector<uint8_t> Flash() const;
  // Every good frame with the host's rate at the time.
  std::vector<SimFrameRecord> Frames() const;
  bool Unlocked() const;
  int ExpectedRate() const;   // the rate the device listens at
  int Unlocks() const;        // taken unlock signatures
  int Closings() const;       // taken closing frames
  int BadSignatures() const;
  int BlocksWritten() const;
  int BlocksRejected() const;
  int BusyReports() const;    // polls and block answers that showed busy
  int RateMismatches() const;

 protected:
  bool Prepare(std::string& error) override;
  void HandleFrame(const SimFrame& frame) override;
  void Idle() override;
  void SummaryFields(SimJson& json) const override;
  bool DumpFiles(const std::string& dir, std::string& error) const override;

 private:
  uint8_t Status() const;
  void Signature(const SimFrame& frame);
  void Block(const SimFrame& frame);
  void BackToBootRate();

  std::mt19937_64 BusyStream;
  int Busy = 0;  // polls still to answer busy
  std::chrono::steady_clock::time_point LastGoodFrame{};

  // Under Lock.
  SimFlash Memory;
  std::vector<SimFrameRecord> FrameLog;
  bool IsUnlocked = false;
  int Expected = kBootRate;
  int UnlockCount = 0, ClosingCount = 0, BadSignatureCount = 0;
  int BlockCount = 0, RejectedCount = 0, BusyCount = 0, MismatchCount = 0;
  int SessionTimeouts = 0;
  uint32_t BytesProgrammed = 0;
};
