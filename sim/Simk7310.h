// The K7310: a main processor on the line and three processors behind it
// (display, load-cell communication, Ethernet), each with a USART boot
// loader of the usual kind: 0x7F opens a session (ACK 0x79; a further 0x7F
// in a session answers NACK 0x1F), then commands of a code byte and its
// complement: Get 0x00, Get Version 0x01, Get ID 0x02, Read Memory 0x11,
// Go 0x21, Write Memory 0x31, Erase 0x43 (page list or 0xFF global). Flash
// starts at 0x08000000 on every processor: 512 KiB in 2 KiB pages on the
// main processor (product id 0x0414), 64 KiB in 1 KiB pages on the others
// (0x0440).
//
// Outside its boot loader the main processor runs its application:
//   asleep (at power-up, after its Go, after ESC): 0x7F answers 0x16;
//   B O O T wakes it, and then 0x7F opens the boot loader;
//   0x11 / 0x12 / 0x13 are echoed and route the line to the display,
//   load-cell communication or Ethernet processor until that one's Go, or
//   until the line has been silent (no byte either way) for RouteFallbackMs;
//   ESC 0x1B answers 0x1A and restarts it (asleep).
// Inside a session 0x11 is Read Memory, never a route byte.
// A command whose bytes stop coming for CommandTimeoutMs is abandoned.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/Simdevice.h"
#include "sim/Simflash.h"

struct SimK7310Counts {
  int Connects = 0;       // sessions opened by 0x7F
  std::map<int, int> Commands;  // command code -> received with a good complement
  int Rejected = 0;       // NACKs for bad complements, checksums, addresses
  int EraseCommands = 0;
  int PagesErased = 0;
  int Writes = 0;
  int BytesWritten = 0;
  int Reads = 0;
  int BytesRead = 0;
  int Gos = 0;
};

class SimK7310 : public SimDevice {
 public:
  enum Unit { Main = 0, Display = 1, LcComm = 2, Ethernet = 3 };
  static constexpr int kUnits = 4;
  static constexpr uint32_t kFlashBase = 0x08000000;

  explicit SimK7310(const SimOptions& options);
  // The device thread uses this object's members: it ends first.
  ~SimK7310() override { Stop(); }

  // "main", "display", "lccomm", "ethernet".
  static const char* UnitName(int unit);
  // The flash size of a unit (512 KiB or 64 KiB).
  static size_t FlashSize(int unit);

  std::vector<uint8_t> Flash(int unit) const;
  SimK7310Counts Counts(int unit) const;
  // Unit names in the order their boot loaders were connected.
  std::vector<std::string> ConnectOrder() const;
  int Route() const;          // the unit the line reaches now
  bool MainAsleep() const;    // the main processor answers 0x7F with 0x16
  int SleepReplies() const;   // 0x16 answers
  int Wakeups() const;        // B O O T while asleep
  int Reboots() const;        // ESC answered with 0x1A
  int RouteFallbacks() const;
  int Abandoned() const;      // commands given up half-way

 protected:
  bool Prepare(std::string& error) override;
  void Serve() override;
  void SummaryFields(SimJson& json) const override;
  bool DumpFiles(const std::string& dir, std::string& error) const override;

 private:
  struct Processor {
    std::string Name;
    uint16_t ProductId;
    SimFlash Memory;
    bool InSession = false;
    SimK7310Counts Counts;  // under Lock
  };

  void MainApplication(uint8_t byte);
  void RoutedApplication(Processor& unit, uint8_t byte);
  void OpenSession(Processor& unit);
  void Command(Processor& unit, uint8_t code);
  void Get(Processor& unit);
  void GetVersion(Processor& unit);
  void GetId(Processor& unit);
  void ReadMemory(Processor& unit);
  void Go(Processor& unit);
  void WriteMemory(Processor& unit);
  void Erase(Processor& unit);

  // ACK, or the NACK and corrupt faults; false when a NACK went out. The
  // command's effect runs only when no NACK went out, and before the ACK
  // leaves, so that a host that has seen the ACK sees the effect too.
  bool Acknowledge(const std::string& what, const std::function<void()>& effect = {});
  void Reject(Processor& unit, const std::string& what);
  // The next byte of a command; false (abandoned) on time-out.
  bool CommandByte(uint8_t& byte);
  // Address frame: 4 bytes MSB first and their XOR. False when abandoned;
  // valid tells whether checksum and address were good.
  bool ReadAddress(Processor& unit, uint32_t& address, bool& valid);
  void FallBack();

  std::array<Processor, kUnits> Units;
  uint32_t BootWindow = 0;  // the last four bytes the main application saw

  // Under Lock.
  int Routed = Main;
  bool Asleep = true;
  std::vector<std::string> Order;
  int SleepCount = 0, WakeCount = 0, RebootCount = 0, FallbackCount = 0, AbandonedCount = 0;
};
