// A pseudo-terminal pair standing in for a serial line: the code under test
// opens SlavePath() as its port, the test plays the device on the master side.
// The slave starts in raw mode (no echo, no line editing, no CR/LF mapping) and
// the fixture keeps one slave descriptor of its own open, so that the master
// neither sees a hang-up when the port under test closes nor loses bytes
// written before the port is opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TestPty {
 public:
  TestPty();  // check IsOpen(): openpty can fail when the system has no ptys left
  ~TestPty();
  TestPty(const TestPty&) = delete;
  TestPty& operator=(const TestPty&) = delete;

  bool IsOpen() const { return MasterFd >= 0; }
  int Master() const { return MasterFd; }
  const std::string& SlavePath() const { return Path; }

  // Writes all bytes to the master (the device sending); false when the
  // master could not take them within timeoutMs.
  bool Write(const std::vector<uint8_t>& bytes, int timeoutMs = 5000);
  bool Write(const std::string& text, int timeoutMs = 5000);
  // Reads from the master until count bytes have come or timeoutMs has passed;
  // returns what came (the device receiving).
  std::vector<uint8_t> Read(size_t count, int timeoutMs = 5000);
  // Everything that arrives until nothing more has come for quietMs.
  std::vector<uint8_t> ReadUntilQuiet(int quietMs = 200, int timeoutMs = 5000);

  // Fills the line towards the master (the device that never reads) through
  // the fixture's own slave descriptor, until it takes nothing more: a port
  // on the slave then finds no room for its writes.
  bool FillLine();

  // Closes the master: the slave side sees a hang-up (the device is gone).
  void CloseMaster();
  // Closes the fixture's own slave descriptor.
  void CloseSlave();

 private:
  int MasterFd = -1;
  int SlaveFd = -1;
  std::string Path;
};
