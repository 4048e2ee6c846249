// The device end of a simulated serial line: a pseudo-terminal pair whose
// slave path the host opens like a COM port. The simulator reads and writes
// the master; the slave side is kept open by the simulator as well, so the
// line survives the host closing and reopening its port and its settings
// stay where the host left them.
//
// The host's line settings are read back from the pair (tcgetattr on the
// master gives the settings of the slave). Linux ptys do not keep the parity
// bit, so a host that asks for 8E1 shows up as 8N1 unless an assumed parity
// is set.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>

struct SimLineSettings {
  int BaudRate = 0;    // as the host set it; 0 when it cannot be read
  char Parity = 'N';   // N, E or O
  int BitsPerByte = 10;  // start + 8 data + parity + stop
};

class SimPty {
 public:
  SimPty() = default;
  ~SimPty();
  SimPty(const SimPty&) = delete;
  SimPty& operator=(const SimPty&) = delete;

  // Opens the pair and puts the slave into raw 8N1 at 9600 baud.
  bool Open(std::string& error);
  // Closes both ends; a host holding the slave sees its line hang up.
  void Close();
  bool IsOpen() const { return Master >= 0; }
  const std::string& SlavePath() const { return Path; }

  // Waits up to timeoutMs for bytes and reads up to max of them. Returns the
  // count, 0 on time-out, -1 when the line is closed. With pacing on, the
  // call returns no earlier than the host's line would have carried them.
  int Read(uint8_t* buffer, size_t max, int timeoutMs);
  // Writes the bytes, paced when pacing is on. A line that stays full for a
  // second (nobody reads the slave) loses the rest, as a real line would.
  // Returns the count written; fewer than count when bytes were lost or the
  // line closed.
  size_t Write(const uint8_t* data, size_t count);

  // The host's current settings.
  SimLineSettings LineSettings() const;
  // Whether the host has changed the settings the pair was opened with.
  bool SettingsChanged() const;

  void SetPacing(bool on) { Pacing = on; }
  // 'E' or 'O' makes pacing count 11 bits per byte whatever the pty shows;
  // 0 takes the parity from the line settings.
  void SetAssumedParity(char parity) { AssumedParity = parity; }

  // Converts a termios speed code to baud; 0 for an unknown code.
  static int SpeedToBaud(speed_t speed);

 private:
  std::chrono::nanoseconds ByteTime() const;

  int Master = -1;
  int Slave = -1;
  std::string Path;
  termios Initial{};
  bool Pacing = false;
  char AssumedParity = 0;
  std::chrono::steady_clock::time_point RxDue{};
  std::chrono::steady_clock::time_point TxDue{};
};
