// The common part of every simulated device: the pseudo-terminal it serves,
// its own thread, what crossed the line, the host's baud rates, the faults,
// and the summary and dump files.
//
// Use from a test or the command line:
//   auto sim = MakeSimulator(SimKind::K7310, options);
//   if (!sim->Start(error)) ...;        // opens the pty, serves on a thread
//   ... point the host at sim->SlavePath() ...
//   sim->Stop();                        // ends the thread, closes the pty
//   sim->Dump(dir, error);              // sent.bin, summary.json and the kind's files
// Every accessor may be called from any thread at any time; it returns a
// copy taken under the device's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/Simfaults.h"
#include "sim/Simoptions.h"
#include "sim/Simpty.h"

class SimJson;

class SimDevice {
 public:
  SimDevice(std::string kind, const SimOptions& options);
  // Stops the thread too; every concrete kind also calls Stop() in its own
  // destructor, because the thread must end before the kind's members go.
  virtual ~SimDevice();
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  // Loads the kind's files (image, table, lines), opens the pty pair and
  // starts serving. False with a message when any of it fails.
  bool Start(std::string& error);
  // Ends serving and closes the line; the results stay readable.
  void Stop();

  const std::string& Kind() const { return KindName; }
  const std::string& SlavePath() const { return Pty.SlavePath(); }
  // False once serving has ended (Stop, or the line was closed by a fault).
  bool Serving() const { return Running; }
  // Whether a disconnect fault closed the line.
  bool Disconnected() const { return HungUp; }

  std::vector<uint8_t> Sent() const;      // every byte the device sent
  std::vector<uint8_t> Received() const;  // every byte the host sent
  uint64_t BytesLost() const;             // answers lost because nobody read the line
  // The host's baud rates in the order it used them (a new entry for each
  // change), from the host's first byte or first change of the settings on.
  std::vector<int> BaudRates() const;
  int FaultCount(SimFault fault) const { return FaultSet.Count(fault); }
  std::vector<SimFaultEvent> FaultEvents() const { return FaultSet.Events(); }

  // summary.json: common counts, faults, then the kind's own fields.
  std::string SummaryJson() const;
  // Writes sent.bin, summary.json and the kind's files into dir (created).
  bool Dump(const std::string& dir, std::string& error) const;

 protected:
  // Thrown on the device thread when serving must end (stop, line closed);
  // unwinds whatever command the device was in.
  struct LineEnded {};

  // Before the line opens: load files. False with a message on failure.
  virtual bool Prepare(std::string& error);
  // The device's main loop; runs on the device thread until LineEnded.
  virtual void Serve() = 0;
  // The kind's summary fields, written into the open top-level object.
  // Called with Lock held.
  virtual void SummaryFields(SimJson& json) const = 0;
  // The kind's dump files. Called with Lock held.
  virtual bool DumpFiles(const std::string& dir, std::string& error) const = 0;

  // Writes one dump file; false with a message when it fails.
  static bool WriteDumpFile(const std::string& dir, const std::string& name,
                            const std::vector<uint8_t>& bytes, std::string& error);

  // --- device thread ---
  // Next byte from the host within timeoutMs (negative: wait for ever);
  // false on time-out.
  bool ReadByte(uint8_t& byte, int timeoutMs);
  // The command time-out of the options, as ReadByte wants it.
  int CommandTimeout() const { return Options.CommandTimeoutMs > 0 ? Options.CommandTimeoutMs : -1; }
  // How long the line was silent (no byte from the host, none from the
  // device) before the byte just read, and until now.
  std::chrono::steady_clock::duration SilenceBeforeLastByte() const { return LastGap; }
  std::chrono::steady_clock::duration SilenceNow() const;
  // An answer to the host, open to the drop, noise and split faults.
  void Answer(std::vector<uint8_t> bytes, const std::string& what);
  // Bytes straight onto the line, no faults.
  void Send(const std::vector<uint8_t>& bytes);
  // Sleeps, still watching the line settings and the stop request.
  void Pause(int ms);
  // A command or frame arrived: the chance of a disconnect fault.
  void CommandArrived(const std::string& what);
  // The host's current baud rate.
  int HostBaudRate() const { return Pty.LineSettings().BaudRate; }
  uint64_t Traffic() const { return TrafficCount; }
  SimFaults& Faults() { return FaultSet; }

  const SimOptions Options;
  // Guards every result that accessors read; the device thread takes it
  // when it changes them.
  mutable std::mutex Lock;

 private:
  void Run();
  void SampleLine();
  void CheckStop();
  [[noreturn]] void Hangup(const std::string& why);

  std::string KindName;
  SimPty Pty;
  SimFaults FaultSet;
  std::thread Thread;
  std::atomic<bool> StopRequested{false};
  std::atomic<bool> Running{false};
  std::atomic<bool> HungUp{false};

  // Device thread only.
  std::vector<uint8_t> Pending;
  size_t PendingAt = 0;
  std::chrono::steady_clock::time_point PendingTime{};
  std::chrono::steady_clock::time_point LastByteTime{};  // the last byte on the line, either way
  std::chrono::steady_clock::duration LastGap{};
  bool RecordingRates = false;
  std::atomic<uint64_t> TrafficCount{0};

  // Under Lock.
  std::vector<uint8_t> SentBytes;
  std::vector<uint8_t> ReceivedBytes;
  uint64_t LostBytes = 0;
  std::vector<int> Rates;
  std::string ServeError;
};
