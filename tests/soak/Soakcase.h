// One kind of soak run: what the host is given (a random image or parameter
// list, the line settings), what the device starts with, when the host's run
// is over, and whether the device then holds what it should. The runner
// (Soakrun.h) drives every kind the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "sim/Simdevice.h"
#include "sim/Simoptions.h"
#include "sim/Simulators.h"

class ChannelHost;

class SoakCase {
 public:
  virtual ~SoakCase() = default;

  virtual int Operation() const = 0;  // the operation id the host selects
  virtual int BaudRate() const = 0;
  virtual char Parity() const = 0;
  // Bytes a complete run puts on the line, roughly and at least: a
  // disconnect planned below it strikes in the middle of the run.
  virtual uint64_t TrafficEstimate() const = 0;
  // Commands a complete run sends, roughly and at least.
  virtual uint64_t CommandEstimate() const = 0;

  // Writes the file the host opens (image or parameter list); its path.
  virtual std::string WriteHostFile(const std::string& folder) = 0;
  // Sets the device's start contents in options (preload files in folder):
  // old firmware or an old table, or, when previous is set, whatever the
  // device that went away held at that moment.
  virtual void PrepareDevice(SimOptions& options, const std::string& folder, const SimDevice* previous) = 0;

  // The host's run is over (the channel is back in its ready state).
  virtual bool RunOver(const ChannelHost& host) const = 0;
  // Empty when the device holds exactly what the run should leave; else
  // what differs.
  virtual std::string Verify(const SimDevice& device, ChannelHost& host) const = 0;
};

// A random case of the kind, drawn from random.
std::unique_ptr<SoakCase> MakeK7310Case(std::mt19937_64& random);
std::unique_ptr<SoakCase> MakeTrx5170Case(std::mt19937_64& random);
std::unique_ptr<SoakCase> MakeParamsCase(std::mt19937_64& random);
std::unique_ptr<SoakCase> MakeSoakCase(SimKind kind, std::mt19937_64& random);

// Helpers the cases share.
// A number in [low, high] from random.
uint64_t SoakBetween(std::mt19937_64& random, uint64_t low, uint64_t high);
// Writes bytes to folder/name; the path.
std::string SoakWriteFile(const std::string& folder, const std::string& name, const std::string& bytes);
// Where two byte strings first differ, for a failure text ("" when equal).
std::string SoakFirstDifference(const std::string& what, const std::vector<uint8_t>& expected,
                                const std::vector<uint8_t>& actual, uint32_t base = 0);
